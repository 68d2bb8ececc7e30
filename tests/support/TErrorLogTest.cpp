#include "support/TErrorLog.h"
#include "helpers/TTestEnvironment.h"
#include "platform/TAnsiCodec.h"
#include "support/TAboutBox1.h"

#include <QFile>

class TErrorLogTest : public TZephynTest {};

TEST_F(TErrorLogTest, LinesAreAppendedWithTheirTimeOldestFirst) {
    Clock.When = QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7));
    TErrorLog::LogException(QStringLiteral("'abc' is not a valid integer value"));
    Clock.When = QDateTime(QDate(2027, 1, 3), QTime(23, 0, 59));
    TErrorLog::LogException(QStringLiteral("Winsock.GetHostName failed \u20ac"));
    EXPECT_EQ(ErrorLogText(),
              QStringLiteral("08 Dec 2026 09:05:07 : 'abc' is not a valid integer value\r\n"
                             "03 Jan 2027 23:00:59 : Winsock.GetHostName failed \u20ac\r\n"));
}

TEST_F(TErrorLogTest, NullAccessViolationsAreNotLogged) {
    TErrorLog::LogException(
        QStringLiteral("Access violation at address 00000000. Read of address 00000000"));
    EXPECT_FALSE(QFile::exists(TErrorLog::FileName()));
    TErrorLog::LogException(QStringLiteral("Access violation at address 0040A1B2"));
    EXPECT_TRUE(
        ErrorLogText().endsWith(QStringLiteral(" : Access violation at address 0040A1B2\r\n")));
}

TEST(TAboutBox1, VersionTextFollowsTheVersionResource) {
    EXPECT_EQ(TAboutBox1::VersionText(TVersionInfo{}), QStringLiteral("Version 2.80"));
    EXPECT_EQ(TAboutBox1::VersionText(TVersionInfo{true, QStringLiteral("3.1 beta"), 1, 2, 3, 4}),
              QStringLiteral("Version 3.1 beta"));
    EXPECT_EQ(TAboutBox1::VersionText(TVersionInfo{true, QString(), 2, 81, 0, 7}),
              QStringLiteral("Version 2.81.0.7"));
    EXPECT_EQ(TAboutBox1::VersionText(TAboutBox1::ProgramVersion()),
              QStringLiteral("Version " ZEPHYN_TEST_VERSION));
}
