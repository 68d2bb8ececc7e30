#include "history/THistoryRecord.h"
#include "platform/TAnsiCodec.h"

#include <QtEndian>
#include <cstring>

template <int N> QString TRecordImage<N>::Text(TTextSlot slot) const {
    // A length beyond the slot (a damaged file) reads as far as the slot goes.
    const int length = std::min<int>(static_cast<unsigned char>(FBytes[slot.Offset]), slot.Max);
    return TAnsiCodec::Decode(QByteArray(FBytes.data() + slot.Offset + 1, length));
}

template <int N> void TRecordImage<N>::SetText(TTextSlot slot, const QString& text) {
    // Characters outside Windows-1252 become '?'; longer texts are cut.
    QByteArray bytes = TAnsiCodec::Encode(text);
    if (bytes.size() > slot.Max)
        bytes.truncate(slot.Max);
    FBytes[slot.Offset] = static_cast<char>(bytes.size());
    std::memcpy(FBytes.data() + slot.Offset + 1, bytes.constData(), bytes.size());
}

template <int N> int32_t TRecordImage<N>::Int32(int offset) const {
    return qFromLittleEndian<int32_t>(FBytes.data() + offset);
}

template <int N> void TRecordImage<N>::SetInt32(int offset, int32_t value) {
    qToLittleEndian<int32_t>(value, FBytes.data() + offset);
}

template class TRecordImage<HistoryRecord::Size>;
template class TRecordImage<LegacyHistoryRecord::Size>;

HistoryRecord LegacyHistoryRecord::Converted() const {
    HistoryRecord r;
    r.SetEntryName(EntryName());
    r.SetProfile(Profile());
    r.SetProfileCopy(ProfileCopy());
    r.SetMaxMTU(MaxMTU());
    r.SetRWIN(RWIN());
    r.SetTTL(TTL());
    r.SetMSS(MSS());
    r.SetComment(Comment());
    r.SetMTUDiscover(MTUDiscover());
    r.SetBlackHole(BlackHole());
    r.SetThroughput(Throughput());
    r.SetIPMTU(MaxMTU());
    r.SetNDICache(QStringLiteral("0"));
    return r;
}

// hist.dat is the array as it lies in memory, record after record.
static_assert(sizeof(HistoryRecord) == HistoryRecord::Size);
static_assert(sizeof(LegacyHistoryRecord) == LegacyHistoryRecord::Size);
static_assert(std::is_trivially_copyable_v<HistoryRecord>);
