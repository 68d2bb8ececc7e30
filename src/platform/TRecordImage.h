#pragma once
#include "platform/TAnsiCodec.h"

#include <QString>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

// A length-prefixed text slot: one length byte, then up to Max single-byte
// (Windows-1252) characters, in Max + 1 bytes at Offset.
struct TTextSlot {
    int Offset;
    int Max;
};

// Text slots over a fixed-size byte image. Setting a text writes its length
// and characters and zeroes the rest of the slot, so nothing of a longer old
// text (a password, say) stays in the file.
template <int N> class TRecordImage {
public:
    static constexpr int Size = N;
    const char* Bytes() const { return FBytes.data(); }
    char* Bytes() { return FBytes.data(); }

protected:
    QString Text(TTextSlot slot) const;
    void SetText(TTextSlot slot, const QString& text);
    bool Flag(int offset) const { return FBytes[offset] != 0; }
    void SetFlag(int offset, bool on) { FBytes[offset] = on ? 1 : 0; }
    int32_t Int32(int offset) const;
    void SetInt32(int offset, int32_t value);

private:
    std::array<char, N> FBytes{};
};

template <int N> inline QString TRecordImage<N>::Text(TTextSlot slot) const {
    // A length beyond the slot (a damaged file) reads as far as the slot goes.
    const int length = std::min<int>(static_cast<unsigned char>(FBytes[slot.Offset]), slot.Max);
    return TAnsiCodec::Decode(QByteArray(FBytes.data() + slot.Offset + 1, length));
}

template <int N> inline void TRecordImage<N>::SetText(TTextSlot slot, const QString& text) {
    // Characters outside Windows-1252 become '?'; longer texts are cut.
    QByteArray bytes = TAnsiCodec::Encode(text);
    if (bytes.size() > slot.Max)
        bytes.truncate(slot.Max);
    FBytes[slot.Offset] = static_cast<char>(bytes.size());
    std::memcpy(FBytes.data() + slot.Offset + 1, bytes.constData(), bytes.size());
    std::memset(FBytes.data() + slot.Offset + 1 + bytes.size(), 0, size_t(slot.Max - bytes.size()));
}

template <int N> inline int32_t TRecordImage<N>::Int32(int offset) const {
    return qFromLittleEndian<int32_t>(FBytes.data() + offset);
}

template <int N> inline void TRecordImage<N>::SetInt32(int offset, int32_t value) {
    qToLittleEndian<int32_t>(value, FBytes.data() + offset);
}
