#include "ftp/TFtpReplyReader.h"

#include <algorithm>

QByteArray TFtpReplyReader::Append(const char* data, qsizetype length) {
    QByteArray bytes(data, length);
    bytes.removeIf([](char c) { return c == '\0'; });
    FBuffer += bytes;
    return bytes;
}

void TFtpReplyReader::Clear() {
    FBuffer.clear();
    FStart = 0;
    FMultiLine = false;
    FLines = 0;
}

TFtpReplyReader::TNext TFtpReplyReader::Next(QByteArray& line) {
    for (;;) {
        const qsizetype end = FBuffer.indexOf("\r\n", FStart);
        if (end < 0) {
            FBuffer.remove(0, FStart);
            FStart = 0;
            if (FBuffer.size() > MaxLine) {
                Clear();
                return TNext::ProtocolError;
            }
            return TNext::None;
        }
        const qsizetype begin = FStart;
        FStart = end + 2;
        if (end - begin > MaxLine) {
            Clear();
            return TNext::ProtocolError;
        }
        const char* text = FBuffer.constData() + begin;
        const qsizetype size = end - begin;
        if (FMultiLine) {
            if (++FLines > MaxLines) {
                Clear();
                return TNext::ProtocolError;
            }
            if (size < 4 || !std::equal(FCode, FCode + 3, text) || text[3] != ' ')
                continue;
            FMultiLine = false;
        } else if (size > 3 && text[3] == '-') {
            FMultiLine = true;
            std::copy(text, text + 3, FCode);
            FLines = 1;
            continue;
        }
        line = QByteArray(text, size);
        return TNext::Reply;
    }
}
