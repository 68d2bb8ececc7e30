#pragma once
#include <QDateTime>
#include <QString>

// zeph_err.log: one line per failure no step handled, appended, never truncated.
namespace TErrorLog {
// "dd mmm yyy hh:nn:ss : message\r\n", with the locale's short month name.
QString FormatLine(const QDateTime& when, const QString& message);
// Appends the failure, unless it is the "Access violation at address 00000000"
// kind, which is neither logged nor shown. A log that cannot be written is
// reported on standard error instead.
void LogException(const QString& message);
QString FileName();
} // namespace TErrorLog
