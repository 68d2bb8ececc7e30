#include "ftptest/TConnectionReadout.h"

#include <QLocale>
#include <cmath>
#include <netinet/in.h>

namespace {

QString Number(qint64 n) {
    return QLocale(QLocale::English).toString(n);
}

QString Milliseconds(uint32_t us) {
    // Loopback's round trips are some tens of microseconds.
    if (us < 1000)
        return QString::number(us / 1000.0, 'f', 2);
    return us < 10000 ? QString::number(us / 1000.0, 'f', 1) : Number((us + 500) / 1000);
}

const QString NotApplied =
    QStringLiteral("Black-hole detection and the NDI cache size are recorded, not applied: Linux "
                   "has no setting for them per connection.");

QString Carried(const TSocketOptions& o) {
    QStringList parts;
    parts << (o.SegmentSize > 0 ? QStringLiteral("segment size %1").arg(Number(o.SegmentSize))
                                : QStringLiteral("Linux's own segment size"));
    parts << (o.ReceiveWindow > 0 ? QStringLiteral("window %1").arg(Number(o.ReceiveWindow))
                                  : QStringLiteral("Linux's own window"));
    parts << (o.TimeToLive > 0 ? QStringLiteral("TTL %1").arg(o.TimeToLive)
                               : QStringLiteral("Linux's own TTL"));
    if (o.PathMtu != TSocketOptions::TPathMtu::Default)
        parts << (o.PathMtu == TSocketOptions::TPathMtu::Discover
                      ? QStringLiteral("path-MTU discovery on (DF)")
                      : QStringLiteral("path-MTU discovery off (no DF)"));
    return QStringLiteral("The test's connections carry the Settings page's %1.")
        .arg(parts.join(QStringLiteral(", ")));
}

const QString OwnSettings = QStringLiteral(
    "Measured with this computer's own settings: the Settings page's are not applied.");

} // namespace

int TConnectionReadout::FillingSegments(int throughput, uint32_t minRttUs, uint32_t segment) {
    if (throughput <= 0 || minRttUs == 0 || segment == 0)
        return 0;
    const double bytes = double(throughput) * minRttUs / 1e6;
    return int(std::ceil(bytes / segment));
}

QString TConnectionReadout::AtStart(const TSocketOptions* applied, const QStringList& notes) {
    if (!applied)
        return OwnSettings;
    QStringList text{Carried(*applied)};
    if (!notes.isEmpty())
        text << QStringLiteral("This test cannot run as asked:") << notes;
    return text.join(u' ');
}

QString TConnectionReadout::AtEnd(const TConnectionFigures& f, int throughput,
                                  const TSocketOptions* applied, const QStringList& notes) {
    QStringList text;
    if (!applied)
        text << OwnSettings;
    if (!f.Valid) {
        text << QStringLiteral("Linux gave no figures of the data connection.");
    } else {
        text << QStringLiteral("Round trip %1 ms least, %2 ms smoothed.")
                    .arg(Milliseconds(f.MinRttUs), Milliseconds(f.SmoothedRttUs));
        text << QStringLiteral("The server sent segments of %1 bytes.")
                    .arg(Number(f.ReceivedSegment));
        if (f.AdvertisedWindow >= 0)
            text << QStringLiteral("Zephyn advertised a window of %1 bytes and a segment size "
                                   "of %2.")
                        .arg(Number(f.AdvertisedWindow), Number(f.AdvertisedMss));
        else
            text << QStringLiteral("Zephyn advertised a segment size of %1.")
                        .arg(Number(f.AdvertisedMss));
        text << (f.OutOfOrder == 0 ? QStringLiteral("No segment arrived out of order.")
                 : f.OutOfOrder == 1
                     ? QStringLiteral("1 segment arrived out of order.")
                     : QStringLiteral("%1 segments arrived out of order.")
                           .arg(Number(f.OutOfOrder)));
        if (const int n = FillingSegments(throughput, f.MinRttUs, f.ReceivedSegment); n > 0)
            text << QStringLiteral("A window of %1 bytes (%2 × %3) would fill this link.")
                        .arg(Number(qint64(n) * f.ReceivedSegment), Number(n),
                             Number(f.ReceivedSegment));
    }
    if (applied && f.Valid) {
        // What the connection did against what it was given: never a silent clamp.
        if (applied->SegmentSize > 0 && f.AdvertisedMss > 0 &&
            f.AdvertisedMss < uint32_t(applied->SegmentSize))
            text << QStringLiteral("The link allowed a segment size of %1 only, not %2.")
                        .arg(Number(f.AdvertisedMss), Number(applied->SegmentSize));
        if (applied->ReceiveWindow > 0 && f.AdvertisedWindow > applied->ReceiveWindow)
            text << QStringLiteral("Linux advertised more than the window of %1.")
                        .arg(Number(applied->ReceiveWindow));
        if (applied->TimeToLive > 0 && f.TimeToLive >= 0 && f.TimeToLive != applied->TimeToLive)
            text << QStringLiteral("The data connection's TTL was %1, not %2.")
                        .arg(f.TimeToLive)
                        .arg(applied->TimeToLive);
        const int df = applied->PathMtu == TSocketOptions::TPathMtu::Discover ? IP_PMTUDISC_DO
                                                                               : IP_PMTUDISC_DONT;
        if (applied->PathMtu != TSocketOptions::TPathMtu::Default && f.PathMtuMode >= 0 &&
            f.PathMtuMode != df)
            text << QStringLiteral("The data connection's path-MTU discovery was not as asked.");
    }
    text << notes;
    text << NotApplied;
    return text.join(u' ');
}
