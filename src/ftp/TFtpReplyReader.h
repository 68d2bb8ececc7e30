#pragma once
#include <QByteArray>

// Turns the bytes of the control connection into replies. Lines end in CR LF;
// a multi-line reply ("123-" up to "123 ") counts as its last line. Its memory
// is bounded: a line longer than MaxLine, or a reply of more than MaxLines
// lines, is a protocol error.
class TFtpReplyReader {
public:
    static constexpr qsizetype MaxLine = 64 * 1024;
    static constexpr int MaxLines = 1000;
    enum class TNext { None, Reply, ProtocolError };

    // Bytes as received. A NUL byte is dropped, never the line end after it;
    // the bytes kept are handed back (for the received-text event).
    QByteArray Append(const char* data, qsizetype length);
    // The next whole reply's last line, without its CR LF. After a protocol
    // error the reader is empty.
    TNext Next(QByteArray& line);
    // Forgets the partial line and any reply begun (a new connection).
    void Clear();
    qsizetype Buffered() const { return FBuffer.size() - FStart; }
    // A reply has begun and is not yet whole.
    bool Partial() const { return Buffered() > 0 || FMultiLine; }

private:
    QByteArray FBuffer;
    qsizetype FStart = 0; // what is before it has been handed out
    bool FMultiLine = false;
    char FCode[3] = {};
    int FLines = 0;
};
