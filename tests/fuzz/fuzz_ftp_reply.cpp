// The control connection's reply reader takes any bytes, in chunks of any
// size, without reading out of bounds, and holds no more than one line's
// worth of them.
#include "ftp/TFtpReplyReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFtpReplyReader reader;
    size_t at = 0;
    while (at < size) {
        // Each chunk: a length byte (in 256-byte steps for long lines), then the bytes.
        const size_t step = (size_t(data[at]) % 17) * 256 + size_t(data[at]) / 17 + 1;
        ++at;
        const size_t n = std::min(step, size - at);
        // Long lines are tested by repeating the chunk.
        const int repeat = data[at - 1] == 0xFF ? 300 : 1;
        for (int r = 0; r < repeat; ++r) {
            reader.Append(reinterpret_cast<const char*>(data) + at, qsizetype(n));
            QByteArray line;
            TFtpReplyReader::TNext next;
            while ((next = reader.Next(line)) == TFtpReplyReader::TNext::Reply)
                if (line.contains("\r\n") || line.size() > TFtpReplyReader::MaxLine ||
                    line.contains('\0'))
                    std::abort();
            if (next == TFtpReplyReader::TNext::ProtocolError && reader.Buffered() != 0)
                std::abort();
            if (reader.Buffered() > TFtpReplyReader::MaxLine)
                std::abort();
        }
        at += n;
    }
    return 0;
}
