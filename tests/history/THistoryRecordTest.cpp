#include "history/THistoryRecord.h"
#include "helpers/TTestEnvironment.h"

#include <QByteArray>

namespace {

// Puts a length-prefixed text into expected bytes at a literal offset.
void Put(QByteArray& bytes, int offset, const QByteArray& text) {
    bytes[offset] = static_cast<char>(text.size());
    bytes.replace(offset + 1, text.size(), text);
}

QByteArray BytesOf(const char* data, int size) {
    return QByteArray(data, size);
}

} // namespace

TEST(THistoryRecord, MatchesTheFileLayoutByteForByte) {
    HistoryRecord r;
    r.SetEntryName(QString(31, u'N')); // the 31st is cut
    r.SetProfile(QStringLiteral("0000"));
    r.SetProfileCopy(QStringLiteral("0000"));
    r.SetMaxMTU(QStringLiteral("576"));
    r.SetRWIN(QStringLiteral("2144"));
    r.SetTTL(QStringLiteral("64"));
    r.SetMSS(QStringLiteral("536"));
    r.SetIPMTU(QStringLiteral("576"));
    r.SetNDICache(QStringLiteral("32"));
    r.SetMTUDiscover(true);
    r.SetBlackHole(false);
    r.SetThroughput(0x01020304);
    r.SetComment(QString(254, u'c') + QStringLiteral("\u00e9")); // 255, é in Windows-1252

    QByteArray expected(384, '\0');
    Put(expected, 0, QByteArray(30, 'N'));
    Put(expected, 31, "0000");
    Put(expected, 62, "0000");
    Put(expected, 88, "576");
    Put(expected, 93, "2144");
    Put(expected, 102, "64");
    Put(expected, 106, "536");
    Put(expected, 113, "576");
    Put(expected, 118, "32");
    expected[121] = 1;
    expected.replace(124, 4, QByteArray("\x04\x03\x02\x01", 4));
    Put(expected, 128, QByteArray(254, 'c') + "\xe9");
    EXPECT_EQ(BytesOf(r.Bytes(), 384), expected);

    EXPECT_EQ(r.EntryName(), QString(30, u'N'));
    EXPECT_EQ(r.Comment().size(), 255);
    EXPECT_TRUE(r.Comment().endsWith(QStringLiteral("c\u00e9")));
    EXPECT_EQ(r.Throughput(), 0x01020304);

    // A shorter text zeroes the rest of its slot, so nothing of the old one
    // stays on disk; characters outside Windows-1252 become '?'.
    r.SetRWIN(QStringLiteral("8"));
    r.SetTTL(QStringLiteral("\u0416"));
    EXPECT_EQ(BytesOf(r.Bytes() + 93, 9), QByteArray("\x01"
                                                     "8\0\0\0\0\0\0\0",
                                                     9));
    EXPECT_EQ(r.RWIN(), QStringLiteral("8"));
    EXPECT_EQ(r.TTL(), QStringLiteral("?"));

    // Any non-zero flag byte reads as on; a length past the slot (a damaged
    // file) reads to the end of the slot only.
    r.Bytes()[122] = 7;
    r.Bytes()[88] = static_cast<char>(200);
    EXPECT_TRUE(r.BlackHole());
    EXPECT_EQ(r.MaxMTU(), QStringLiteral("576") + QChar(u'\0'));
}

TEST(THistoryRecord, LegacyRecordsConvertWithTheirOwnLayout) {
    LegacyHistoryRecord old;
    old.SetEntryName(QStringLiteral("old"));
    old.SetProfile(QStringLiteral("0001"));
    old.SetMaxMTU(QStringLiteral("1500"));
    old.SetMSS(QStringLiteral("1460"));
    old.SetBlackHole(true);
    old.SetThroughput(-2);
    old.SetComment(QStringLiteral("x"));
    QByteArray expected(376, '\0');
    Put(expected, 0, "old");
    Put(expected, 31, "0001");
    Put(expected, 88, "1500");
    Put(expected, 106, "1460");
    expected[114] = 1;
    expected.replace(116, 4, QByteArray("\xfe\xff\xff\xff", 4));
    Put(expected, 120, "x");
    EXPECT_EQ(BytesOf(old.Bytes(), 376), expected);

    const HistoryRecord r = old.Converted();
    EXPECT_EQ(r.EntryName(), QStringLiteral("old"));
    EXPECT_EQ(r.Profile(), QStringLiteral("0001"));
    EXPECT_EQ(r.MaxMTU(), QStringLiteral("1500"));
    EXPECT_EQ(r.IPMTU(), QStringLiteral("1500"));
    EXPECT_EQ(r.NDICache(), QStringLiteral("0"));
    EXPECT_EQ(r.MSS(), QStringLiteral("1460"));
    EXPECT_FALSE(r.MTUDiscover());
    EXPECT_TRUE(r.BlackHole());
    EXPECT_EQ(r.Throughput(), -2);
    EXPECT_EQ(r.Comment(), QStringLiteral("x"));
}
