#include "platform/TAnsiCodec.h"

#include <array>
#include <cerrno>
#include <iconv.h>
#include <mutex>

namespace {

// One table built once through iconv: byte -> code point, and back for 0x80..0x9F.
struct TTables {
    std::array<char16_t, 256> ToUnicode{};
    TTables() {
        iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1252");
        for (int b = 0; b < 256; ++b) {
            ToUnicode[b] = static_cast<char16_t>(b);
            if (cd == reinterpret_cast<iconv_t>(-1))
                continue;
            char in = static_cast<char>(b);
            unsigned char out[4] = {};
            char* inp = &in;
            size_t inLeft = 1;
            char* outp = reinterpret_cast<char*>(out);
            size_t outLeft = sizeof out;
            if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) &&
                outLeft == 2)
                ToUnicode[b] = static_cast<char16_t>(out[0] | (out[1] << 8));
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
    char FromUnicode(char16_t c) const {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            return static_cast<char>(c);
        for (int b = 0x80; b < 0xA0; ++b)
            if (ToUnicode[b] == c)
                return static_cast<char>(b);
        return '?';
    }
};

const TTables& Tables() {
    static const TTables tables;
    return tables;
}

} // namespace

QString TAnsiCodec::Decode(const QByteArray& bytes) {
    const auto& t = Tables();
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = t.ToUnicode[static_cast<unsigned char>(bytes[i])];
    return text;
}

QByteArray TAnsiCodec::Encode(const QString& text) {
    const auto& t = Tables();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // A surrogate pair is one character outside 1252: one '?'.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        bytes[n++] = t.FromUnicode(c);
    }
    bytes.truncate(n);
    return bytes;
}
