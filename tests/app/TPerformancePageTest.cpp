#include "dialup/TPerformancePage.h"
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "dialup/TRAS.h"
#include "ftptest/TTestingPage.h"
#include "helpers/TFindWidget.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "platform/TPerfData.h"
#include "platform/TReentryGuard.h"
#include "platform/TRegApi.h"
#include "settings/TSettingsPage.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QtEndian>

// A fake /sys/class/net whose ppp interfaces the test brings up and counts on.
class TPerformanceTest : public TZephynTest {
protected:
    void SetUp() override {
        TZephynTest::SetUp();
        TRegApi::ResetDynData();
        Clock.When = QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7), Qt::UTC);
    }
    void TearDown() override {
        Frm.reset();
        Data.reset();
        qunsetenv("ZEPHYN_PERFORMANCE_TAB");
        TZephynTest::TearDown();
    }
    void Ppp(const QString& name, quint64 rx, quint64 tx, const char* speed = nullptr,
             bool up = true) {
        const QString dir = DataDir() + QStringLiteral("/sys-class-net/") + name;
        QDir().mkpath(dir + QStringLiteral("/statistics"));
        auto put = [&](const QString& file, const QByteArray& text) {
            QFile f(dir + u'/' + file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(text + '\n');
        };
        put(QStringLiteral("flags"), up ? "0x1091" : "0x1090");
        put(QStringLiteral("statistics/rx_bytes"), QByteArray::number(rx));
        put(QStringLiteral("statistics/tx_bytes"), QByteArray::number(tx));
        put(QStringLiteral("statistics/rx_packets"), QByteArray::number(rx / 100));
        put(QStringLiteral("statistics/tx_packets"), QByteArray::number(tx / 100));
        if (speed)
            put(QStringLiteral("speed"), speed);
    }
    void Start(const char* sample = nullptr) {
        if (sample)
            UseSample(QLatin1String(sample));
        WriteOneRecordHistory();
        Data = std::make_unique<TdataMain>();
        Frm = std::make_unique<TfrmMain>(*Data);
        Frm->show();
        Page()->AddHistoryRecord = [this](int throughput) { Recorded << throughput; };
    }
    TPerformancePage* Page() { return Frm->tabshtPerformance(); }
    QString Shown(const char* name) { return Frm->findChild<QLabel*>(QLatin1String(name))->text(); }
    QStringList Figures() {
        QStringList f;
        for (const char* n :
             {"lblBytesIn", "lblBytesOut", "lblAvgIn", "lblAvgOut", "lblAvgOverall", "lblTime"})
            f << Shown(n);
        return f;
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            Page()->PerfTimerTimer();
    }

    std::unique_ptr<TdataMain> Data;
    std::unique_ptr<TfrmMain> Frm;
    QList<int> Recorded;
};

TEST_F(TPerformanceTest, TheFirstAdapterWithAConnectionSpeedIsChosen) {
    // An adapter that sorts first but has no counters under PerfStats is no dial-up adapter.
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\PerfStats\\Enum\\AAA Modem]\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\PerfStats\\Enum\\Dial-Up "
        "Adapter #2]\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\PerfStats\\Enum\\dial-up "
        "adapter]\n");
    TRAS ras;
    ras.Platform = 1;
    Ppp(QStringLiteral("ppp1"), 10, 20, "0");
    EXPECT_TRUE(ras.EnumPerfAdapters());
    EXPECT_EQ(ras.Adapters(), QStringList{"dial-up adapter"});
    Ppp(QStringLiteral("ppp0"), 10, 20);
    EXPECT_TRUE(ras.ControlStats(true, true));
    EXPECT_EQ(ras.Adapters(), (QStringList{"dial-up adapter", "Dial-Up Adapter #2"}));
    EXPECT_EQ(ras.KeyDUNAdap, QStringLiteral("dial-up adapter"));
    // No adapter up: nothing to start.
    Ppp(QStringLiteral("ppp0"), 10, 20, nullptr, false);
    Ppp(QStringLiteral("ppp1"), 10, 20, nullptr, false);
    EXPECT_FALSE(ras.ControlStats(true, true));
}

TEST_F(TPerformanceTest, Windows98CountsFromItsBaseAndStartsOverWhenACounterGoesBack) {
    UseSample(QStringLiteral("win98.reg"));
    Ppp(QStringLiteral("ppp0"), 400, 50, "1");
    TRAS ras;
    ras.Platform = 1;
    ASSERT_TRUE(ras.ControlStats(true, true));
    EXPECT_EQ(ras.KeyDUNAdap, QStringLiteral("Dial-Up Adapter"));
    EXPECT_EQ(ras.StatsConn, 1000000u);
    Ppp(QStringLiteral("ppp0"), 1000, 50, "1");
    ASSERT_TRUE(ras.ReadStats());
    EXPECT_EQ(ras.StatsRecv, 600);
    Ppp(QStringLiteral("ppp0"), 300, 50, "1");
    ASSERT_TRUE(ras.ReadStats());
    EXPECT_EQ(ras.StatsRecv, 0);
    Ppp(QStringLiteral("ppp0"), 350, 80, "1");
    ASSERT_TRUE(ras.ReadStats());
    EXPECT_EQ(ras.StatsRecv, 50);
    EXPECT_EQ(ras.StatsXmit, 30);
    // Once stopped, StatData no longer follows the interface.
    ASSERT_TRUE(ras.ControlStats(false, false));
    Ppp(QStringLiteral("ppp0"), 5000, 80, "1");
    ras.ReadStats();
    EXPECT_EQ(ras.StatsRecv, 0);
    // Another Win32 platform has no counters: the read fails.
    ras.Platform = 3;
    EXPECT_FALSE(ras.ReadStats());
}

TEST_F(TPerformanceTest, AnAdapterNameFitsThirtyOneCharactersAndItsTerminator) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE, QString());
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Names\\") + QString(31, u'a'), true));
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Names\\") + QString(32, u'b'), true));
    reg.CloseKey();
    using namespace TRegApi;
    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, QStringLiteral("Names"), KEY_READ, &key),
              ERROR_SUCCESS);
    QString name;
    EXPECT_EQ(RegEnumKey(key, 0, name, 32), ERROR_SUCCESS);
    EXPECT_EQ(name, QString(31, u'a'));
    EXPECT_EQ(RegEnumKey(key, 1, name, 32), ERROR_MORE_DATA);
    RegCloseKey(key);
}

TEST_F(TPerformanceTest, TheNTBlockIsByteExactAndItsLargestInstanceCounts) {
    Ppp(QStringLiteral("ppp0"), 5000, 300);
    Ppp(QStringLiteral("ppp1"), 7000, 200);
    const QByteArray block = TPerfData::RasPortBlock(TPerfData::UpInterfaces());

    // Assembled by hand from the published layout.
    QByteArray e;
    auto u16 = [&](quint16 v) { e.append(char(v & 0xff)).append(char(v >> 8)); };
    auto u32 = [&](quint32 v) { u16(quint16(v & 0xffff)), u16(quint16(v >> 16)); };
    auto i64 = [&](qint64 v) { u32(quint32(v)), u32(quint32(quint64(v) >> 32)); };
    auto wide = [&](const char* s) {
        for (; *s; ++s)
            u16(quint16(*s));
        u16(0);
    };
    const qint64 time100ns =
        (QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7), Qt::UTC).toMSecsSinceEpoch() +
         11644473600000LL) *
        10000;
    for (char c : {'P', 'E', 'R', 'F'})
        u16(quint16(c));
    u32(1), u32(1), u32(1);
    u32(88 + 24 + 64 + 4 * 40 + 2 * (24 + 16 + 24)); // TotalByteLength
    u32(112);                                        // HeaderLength: 88 + "ZEPHYN-TEST" + pad
    u32(1), u32(906);
    for (quint16 v : {2026, 12, 2, 8, 9, 5, 7, 0})
        u16(v);
    u32(0); // to the 8-byte boundary
    i64(1000), i64(1000), i64(time100ns);
    u32(24), u32(88);
    wide("ZEPHYN-TEST");
    // PERF_OBJECT_TYPE
    u32(64 + 4 * 40 + 2 * (24 + 16 + 24)), u32(64 + 4 * 40), u32(64), u32(906), u32(0), u32(907),
        u32(0), u32(100), u32(4), u32(0), u32(2), u32(0);
    i64(1000), i64(1000);
    const quint32 counters[] = {872, 874, 876, 878};
    for (int c = 0; c < 4; ++c) {
        u32(40), u32(counters[c]), u32(0), u32(counters[c] + 1), u32(0), u32(0), u32(100),
            u32(0x00010000), u32(4), u32(8 + 4 * c);
    }
    const quint32 values[2][4] = {{300, 5000, 3, 50}, {200, 7000, 2, 70}};
    for (int i = 0; i < 2; ++i) {
        u32(40), u32(0), u32(0), u32(0xffffffff), u32(24), u32(10);
        wide(i == 0 ? "ppp0" : "ppp1");
        u16(0), u16(0), u16(0); // name padded to 8 bytes
        u32(24), u32(0);
        for (quint32 v : values[i])
            u32(v);
    }
    EXPECT_EQ(block.toHex(' '), e.toHex(' '));

    Ppp(QStringLiteral("ppp2"), 1 << 20, 0, nullptr, false); // down: not an instance
    TRAS ras;
    ras.Platform = 2;
    ASSERT_TRUE(ras.ControlStats(true, true));
    EXPECT_EQ(ras.StatsRecv, 0); // reset after the first read
    ASSERT_TRUE(ras.ReadStats());
    EXPECT_EQ(ras.StatsRecv, 7000);
    EXPECT_EQ(ras.StatsXmit, 300);
    EXPECT_EQ(ras.PerfBufferSize(), 8192u);
}

TEST_F(TPerformanceTest, ABlockThatLiesOrHasTooManyCountersFailsTheRead) {
    for (int n = 0; n < 130; ++n) // more instances than 8192 bytes hold
        Ppp(QStringLiteral("ppp%1").arg(n), 1000 + n, 10);
    TRAS ras;
    ras.Platform = 2;
    ASSERT_TRUE(ras.ReadStats());
    EXPECT_EQ(ras.StatsRecv, 1129);
    EXPECT_EQ(ras.PerfBufferSize(), 8192u + 1024u);

    const QByteArray good = TPerfData::RasPortBlock(TPerfData::UpInterfaces());
    const int object = int(qFromLittleEndian<quint32>(good.constData() + 24));
    auto patched = [&](int at, quint32 value) {
        QByteArray b = good;
        qToLittleEndian(value, b.data() + at);
        return b;
    };
    ras.ResetStats();
    const int firstInstance = object + 64 + 4 * 40;
    for (const QByteArray& bad :
         {patched(object + 32, 51),              // 51 counter definitions
          patched(object, 0x7fffffff),           // an object longer than the block
          patched(firstInstance, 0x7ffffff0),    // an instance reaching past the end
          patched(object + 64 + 36, 0x7ffffff0), // a counter outside its block
          good.left(99)}) {
        EXPECT_FALSE(ras.ReadPerfBlock(bad));
        EXPECT_EQ(ras.StatsRecv, 0);
    }
    EXPECT_TRUE(ras.ReadPerfBlock(good));
    EXPECT_EQ(ras.StatsRecv, 1129);
}

TEST_F(TPerformanceTest, TheTicksShowBytesAveragesAndDuration) {
    Ppp(QStringLiteral("ppp0"), 1000, 500, "1");
    Start();
    EXPECT_EQ(Shown("lblSpeed"), QStringLiteral("not available"));
    Page()->findChild<QToolButton*>(QStringLiteral("btnStartCollection"))->click();
    EXPECT_TRUE(Page()->PerfTimer->isActive());
    EXPECT_EQ(Page()->PerfTimer->interval(), 1000);
    EXPECT_FALSE(
        Page()->findChild<QToolButton*>(QStringLiteral("btnStartCollection"))->isEnabled());
    Ticks(1);
    EXPECT_EQ(Figures(), (QStringList{"0", "0", "0", "0", "0", "1"}));
    EXPECT_EQ(Shown("lblSpeed"), QStringLiteral("1000000"));
    Ppp(QStringLiteral("ppp0"), 7000, 2000, "1");
    Ticks(9);
    EXPECT_EQ(Figures(), (QStringList{"6000", "1500", "600", "150", "750", "10"}));

    // Stop offers the overall average as a record; No to the reset counts on.
    Dialogs().Answer(mrYes);
    Page()->findChild<QToolButton*>(QStringLiteral("btnStopCollection"))->click();
    EXPECT_EQ(Recorded, QList<int>{750});
    EXPECT_EQ(Frm->RAS().RASConn, 0u);
    // Stop right after Start, without a tick, offers the averages left.
    Dialogs().Answer(mrNo);
    Page()->btnStartCollectionClick();
    Dialogs().Answer(mrYes);
    Page()->btnStopCollectionClick();
    EXPECT_EQ(Recorded, (QList<int>{750, 750}));
    Dialogs().Answer(mrNo);
    Page()->btnStartCollectionClick();
    EXPECT_EQ(Dialogs().ShownTexts().last(), QStringLiteral("Reset collected statistics?"));
    Ticks(1);
    EXPECT_EQ(Shown("lblTime"), QStringLiteral("11"));
    // Yes starts afresh: 7 bytes after 2 ticks average 3.
    Dialogs().Answer(mrNo);
    Dialogs().Answer(mrYes);
    Page()->btnStopCollectionClick();
    Page()->btnStartCollectionClick();
    EXPECT_EQ(Figures(), (QStringList{"0", "0", "0", "0", "0", "0"}));
    Ticks(1);
    Ppp(QStringLiteral("ppp0"), 7007, 2000, "1");
    Ticks(1);
    EXPECT_EQ(Shown("lblAvgIn"), QStringLiteral("3"));
}

TEST_F(TPerformanceTest, StopRightAfterStartOffersTheAveragesLeftAndNTHasNoSpeed) {
    Ppp(QStringLiteral("ppp0"), 1000, 500);
    Start("nt4.reg");
    EXPECT_EQ(Shown("lblSpeed"), QStringLiteral("not available on NT"));
    Page()->btnStartCollectionClick();
    Dialogs().Answer(mrYes);
    Page()->btnStopCollectionClick();
    EXPECT_EQ(Recorded, QList<int>{0});
    Page()->btnStartCollectionClick();
    Ticks(1);
    Ppp(QStringLiteral("ppp0"), 3000, 500);
    // The NT read lets events through; a tick that comes meanwhile is not nested.
    QTimer::singleShot(0, Page(), [this] { Page()->PerfTimerTimer(); });
    Ticks(1);
    EXPECT_EQ(Figures(), (QStringList{"2000", "0", "1000", "0", "1000", "2"}));
    EXPECT_EQ(Shown("lblSpeed"), QStringLiteral("not available on NT"));
    // Stop clicked while a tick reads: the offer is the figures so far, and
    // the tick adds nothing after it.
    Ppp(QStringLiteral("ppp0"), 9000, 500);
    Dialogs().Answer(mrYes);
    QTimer::singleShot(0, Page(), [this] { Page()->btnStopCollectionClick(); });
    Page()->PerfTimerTimer();
    EXPECT_EQ(Recorded, (QList<int>{0, 1000}));
    EXPECT_EQ(Figures(), (QStringList{"2000", "0", "1000", "0", "1000", "2"}));
    EXPECT_FALSE(Page()->PerfTimer->isActive());
}

TEST_F(TPerformanceTest, TheStartAndStopGlyphsFollowADarkPalette) {
    Start();
    QPalette dark = Page()->palette();
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::ButtonText, QColor(235, 235, 235));
    Page()->setPalette(dark);
    for (const char* name : {"btnStartCollection", "btnStopCollection"}) {
        const QImage glyph =
            Page()->findChild<QToolButton*>(QLatin1String(name))->icon().pixmap(32, 32).toImage();
        EXPECT_GT(glyph.pixelColor(16, 16).lightness(), 200) << name;
    }
}

TEST(TReentryGuardTest, AFailureLeavesTheFlagCleared) {
    bool busy = false;
    try {
        const TReentryGuard guard(busy);
        EXPECT_TRUE(busy);
        throw std::runtime_error("a failure inside the tick");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(busy);
}

TEST_F(TPerformanceTest, NoConnectionOrNoPppdAndTheTabStaysHidden) {
    Start();
    Dialogs().Answer(mrOk);
    Page()->btnStartCollectionClick();
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{"You need to first establish your RAS/DUN connection\r\nbefore you can "
                          "begin collecting data."});
    EXPECT_FALSE(Page()->PerfTimer->isActive());

    // Ctrl+Tab and Ctrl+Shift+Tab pass the hidden tab by; a screen reader is not offered it.
    QTabWidget* pages = FindWidget<QTabWidget>(Frm, "PageControl1");
    pages->setCurrentIndex(0);
    QTest::keyClick(pages, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages->currentWidget(), Frm->tabshtTesting());
    QTest::keyClick(pages, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pages->currentWidget(), Frm->tabshtSettings());
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(pages->tabBar());
    QStringList tabs;
    for (int i = 0; i < bar->childCount(); ++i)
        if (!bar->child(i)->state().invisible)
            tabs << bar->child(i)->text(QAccessible::Name);
    EXPECT_EQ(tabs, (QStringList{"Settings", "Testing", "History", "Analysis"}));

    Frm.reset();
    Data.reset();
    qputenv("ZEPHYN_PPPD", "/nonexistent/pppd");
    qputenv("ZEPHYN_PERFORMANCE_TAB", "1");
    Dialogs().Clear();
    Dialogs().Answer(mrOk);
    Start();
    EXPECT_TRUE(Dialogs().ShownTexts().value(0).startsWith("RAS/DUN is not installed"));
    EXPECT_EQ(FindWidget<QTabWidget>(Frm, "PageControl1")->tabText(1),
              QStringLiteral("Performance"));
    EXPECT_EQ(FindWidget<QTabWidget>(Frm, "PageControl1")->widget(1), Page());
    EXPECT_FALSE(
        Page()->findChild<QToolButton*>(QStringLiteral("btnStartCollection"))->isEnabled());
    EXPECT_FALSE(Page()->findChild<QLabel*>(QStringLiteral("lblTime"))->isEnabled());
}
