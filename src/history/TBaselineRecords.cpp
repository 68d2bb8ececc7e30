#include "history/TBaselineRecords.h"
#include "history/THistory.h"
#include "platform/TClock.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"

#include <QLocale>

QString HistoryDateText(const QDateTime& when, bool withTime) {
    const QDate d = when.date();
    QString text = QStringLiteral("%1 %2 %3")
                       .arg(d.day(), 2, 10, QLatin1Char('0'))
                       .arg(QLocale().monthName(d.month(), QLocale::ShortFormat))
                       .arg(d.year(), 4, 10, QLatin1Char('0'));
    if (withTime)
        text += u' ' + when.time().toString(QStringLiteral("HH:mm:ss"));
    return text;
}

void CreateBaselineRecords(THistory& history, TParameterSet& p,
                           const std::function<void(int)>& showProfile) {
    const QString date = HistoryDateText(TClock::Now(), false);
    const QString ndiCache = p.Platform == WinNT ? QStringLiteral("-2") : p.NdiCacheSize;
    auto globals = [&](HistoryRecord& r) {
        r.SetRWIN(p.RWIN);
        r.SetTTL(p.TTL);
        r.SetMSS(p.MSS);
        r.SetNDICache(ndiCache);
        r.SetMTUDiscover(p.AutoDiscover);
        r.SetBlackHole(p.BlackHole);
        r.SetThroughput(0);
    };
    history.FillList();
    if (p.ProfileCount < 1) {
        HistoryRecord r;
        r.SetEntryName(date + QStringLiteral(" Global"));
        r.SetProfile(QStringLiteral("<global only>"));
        r.SetMaxMTU(QStringLiteral("-1"));
        r.SetIPMTU(QStringLiteral("-1"));
        globals(r);
        history.AppendHistoryRecord(r);
    } else {
        for (int i = 0; i < p.ProfileCount; ++i) {
            showProfile(i);
            const AdapterProfile& profile = p.Profiles[i];
            HistoryRecord r;
            r.SetEntryName(date + QStringLiteral(" Initial"));
            r.SetProfile(profile.KeyName);
            r.SetProfileCopy(profile.KeyName);
            r.SetMaxMTU(profile.MTU);
            r.SetIPMTU(profile.MTU);
            globals(r);
            r.SetComment(QStringLiteral(
                "Initial settings/profile save. You should enter your average throughput values "
                "for this record to allow you to establish a baseline for future tests and "
                "analysis."));
            history.AppendHistoryRecord(r);
        }
    }
    MessageDlg(QStringLiteral("Zephyn found that your history file was empty. Therefore\r\nyour "
                              "current settings have been saved to history records\r\nto "
                              "preserve the settings and to provide a baseline for\r\nyour "
                              "analysis. You can edit them and should add your avg\r\ncurrent "
                              "download throughput values."),
               TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
}
