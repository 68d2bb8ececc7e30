#include "support/TErrorLog.h"
#include "platform/TAnsiCodec.h"
#include "platform/TClock.h"
#include "platform/TDataDirectory.h"

#include <QFile>
#include <QLocale>
#include <cstdio>

QString TErrorLog::FileName() {
    return TDataDirectory::FilePath(QStringLiteral("zeph_err.log"));
}

QString TErrorLog::FormatLine(const QDateTime& when, const QString& message) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QStringLiteral("%1 %2 %3 %4 : %5\r\n")
        .arg(d.day(), 2, 10, QChar(u'0'))
        .arg(QLocale().monthName(d.month(), QLocale::ShortFormat))
        .arg(d.year(), 4, 10, QChar(u'0'))
        .arg(t.toString(QStringLiteral("HH:mm:ss")), message);
}

void TErrorLog::LogException(const QString& message) {
    if (message.contains(QLatin1String("Access violation at address 00000000")))
        return;
    const QByteArray line = TAnsiCodec::Encode(FormatLine(TClock::Now(), message));
    QFile log(FileName());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write(line) != line.size() ||
        !log.flush()) {
        std::fprintf(stderr, "zephyn: cannot write %s: %s", qPrintable(log.fileName()),
                     line.constData());
    }
}
