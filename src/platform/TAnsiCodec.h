#pragma once
#include <QByteArray>
#include <QString>

// Windows-1252, the single-byte code page of the program's files and hives.
namespace TAnsiCodec {
// Bytes to text; the five bytes 1252 leaves undefined map to U+0081 etc., as Windows does.
QString Decode(const QByteArray& bytes);
// Text to bytes; a character outside 1252 becomes '?'.
QByteArray Encode(const QString& text);
} // namespace TAnsiCodec
