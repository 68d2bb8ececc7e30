#include "platform/TRegistryHive.h"
#include "platform/TAnsiCodec.h"
#include "platform/TExceptions.h"

#include <gtest/gtest.h>

namespace {

QByteArray Reg(const QString& body) {
    QString text = QStringLiteral("REGEDIT4\r\n\r\n") + body;
    return TAnsiCodec::Encode(text);
}

QString ParseError(const QByteArray& bytes) {
    try {
        TRegistryHive::Parse(bytes, QStringLiteral("HKEY_LOCAL_MACHINE"));
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return QString();
}

} // namespace

TEST(TRegistryHive, ReadsEveryValueFormOfRegedit) {
    const auto hive =
        TRegistryHive::Parse(Reg(QStringLiteral("[HKEY_LOCAL_MACHINE\\System\\Test]\r\n"
                                                "@=\"default\"\r\n"
                                                "\"Path\"=\"C:\\\\WINDOWS\\\\\"\r\n"
                                                "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
                                                "\"Dw\"=dword:0000abcd\r\n"
                                                "\"Bin\"=hex:01,02,\\\r\n  ff\r\n"
                                                "\"Exp\"=hex(2):25,57,49,4e,25,00\r\n"
                                                "\"Multi\"=hex(7):61,00,62,00,00\r\n"
                                                "\"Odd\"=hex(a):10,20\r\n"
                                                "\"Caf\u00e9\"=\"\u00e9t\u00e9 \u20ac\"\r\n")),
                             QStringLiteral("HKEY_LOCAL_MACHINE"));
    const TRegKey* key = hive.Find(QStringLiteral("SYSTEM\\test"));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->FindValue(QString())->Text, QStringLiteral("default"));
    EXPECT_EQ(key->FindValue(QStringLiteral("path"))->Text, QStringLiteral("C:\\WINDOWS\\"));
    EXPECT_EQ(key->FindValue(QStringLiteral("Quote"))->Text, QStringLiteral("say \"hi\""));
    EXPECT_EQ(key->FindValue(QStringLiteral("Dw"))->Data, QByteArray("\xcd\xab\x00\x00", 4));
    EXPECT_EQ(key->FindValue(QStringLiteral("Bin"))->Data, QByteArray("\x01\x02\xff", 3));
    EXPECT_EQ(key->FindValue(QStringLiteral("Exp"))->Type, REG_EXPAND_SZ);
    EXPECT_EQ(key->FindValue(QStringLiteral("Exp"))->Text, QStringLiteral("%WIN%"));
    EXPECT_EQ(key->FindValue(QStringLiteral("Multi"))->Text, QString::fromUtf16(u"a\0b\0\0", 5));
    EXPECT_EQ(key->FindValue(QStringLiteral("Odd"))->Type, 10u);
    EXPECT_EQ(key->FindValue(QStringLiteral("Caf\u00e9"))->Text,
              QStringLiteral("\u00e9t\u00e9 \u20ac"));
}

TEST(TRegistryHive, WritesWhatItReadsByteForByteAfterOneRoundTrip) {
    const QByteArray source = Reg(QStringLiteral(
        "[HKEY_LOCAL_MACHINE\\A]\r\n\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"S\"=\"x\\\\y\"\r\n"
        "\"D\"=dword:00000010\r\n\"H\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,"
        "12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f\r\n\"E\"=hex(2):61,00\r\n\"Lines\"=hex(1):61,0d,"
        "0a,62,00\r\n\r\n"));
    const auto hive = TRegistryHive::Parse(source, QStringLiteral("HKEY_LOCAL_MACHINE"));
    const QByteArray written = hive.Serialize();
    EXPECT_EQ(
        QString::fromLatin1(written),
        QStringLiteral(
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"S\"=\"x\\\\y\"\r\n\"D\"=dword:00000010\r\n"
            "\"H\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
            "  17,18,19,1a,1b,1c,1d,1e,1f\r\n\"E\"=hex(2):61,00\r\n"
            "\"Lines\"=hex(1):61,0d,0a,62,00\r\n\r\n"));
    const auto again = TRegistryHive::Parse(written, QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(again.Serialize(), written);
    EXPECT_EQ(again.Find(QStringLiteral("A\\B"))->FindValue(QStringLiteral("Lines"))->Text,
              QStringLiteral("a\r\nb"));
}

TEST(TRegistryHive, ReadsAndKeepsUnicodeExportsOfLaterWindows) {
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_LOCAL_MACHINE\\K]\r\n\"N\"=\"\u0416\"\r\n"
                                        "\"E\"=hex(2):41,00,00,00\r\n\r\n");
    QByteArray bytes("\xFF\xFE");
    bytes += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const auto hive = TRegistryHive::Parse(bytes, QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_TRUE(hive.Unicode);
    EXPECT_EQ(hive.Find(QStringLiteral("K"))->FindValue(QStringLiteral("N"))->Text,
              QStringLiteral("\u0416"));
    EXPECT_EQ(hive.Find(QStringLiteral("K"))->FindValue(QStringLiteral("E"))->Text,
              QStringLiteral("A"));
    EXPECT_EQ(hive.Serialize(), bytes);
}

TEST(TRegistryHive, DeletionSectionsAndValuesApplyInOrder) {
    const auto hive = TRegistryHive::Parse(
        Reg(QStringLiteral("[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"V\"=\"1\"\r\n\"W\"=\"2\"\r\n"
                           "[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"V\"=-\r\n[HKEY_LOCAL_MACHINE\\A\\C]\r\n"
                           "[-HKEY_LOCAL_MACHINE\\A\\C]\r\n")),
        QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(hive.Find(QStringLiteral("A\\B"))->Values.size(), 1u);
    EXPECT_EQ(hive.Find(QStringLiteral("A\\C")), nullptr);
}

TEST(TRegistryHive, DamagedTextNamesItsLine) {
    EXPECT_EQ(ParseError(QByteArray("[HKEY_LOCAL_MACHINE\\A]\r\n")),
              QStringLiteral("line 1: the file does not begin with \"REGEDIT4\""));
    EXPECT_EQ(ParseError(QByteArray()),
              QStringLiteral("line 1: the file does not begin with \"REGEDIT4\""));
    EXPECT_EQ(ParseError(Reg(QStringLiteral("\"V\"=\"1\"\r\n"))),
              QStringLiteral("line 3: a value stands before any key"));
    EXPECT_EQ(ParseError(Reg(QStringLiteral("[HKEY_LOCAL_MACHINE\\A]\r\n\"V\"=\"open\r\n"))),
              QStringLiteral("line 4: the text has no closing quote"));
    EXPECT_EQ(ParseError(Reg(QStringLiteral("[HKEY_LOCAL_MACHINE\\A]\r\n\"V\"=hex:zz\r\n"))),
              QStringLiteral("line 4: 'zz' is not a hexadecimal byte"));
    EXPECT_EQ(
        ParseError(Reg(QStringLiteral("[HKEY_LOCAL_MACHINE\\A]\r\n\"V\"=dword:123456789\r\n"))),
        QStringLiteral("line 4: '123456789' is not a double word"));
    EXPECT_EQ(ParseError(Reg(QStringLiteral("[HKEY_CURRENT_USER\\A]\r\n"))),
              QStringLiteral("line 3: the key is not under HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(ParseError(Reg(QStringLiteral("[HKEY_LOCAL_MACHINE\\A\r\n"))),
              QStringLiteral("line 3: the key name has no closing ']'"));
    EXPECT_EQ(ParseError(Reg(QStringLiteral("[HKEY_LOCAL_MACHINE\\A]\r\n\"V\"=hex:01,\\"))),
              QStringLiteral("line 4: the value continues past the end of the file"));
}

// What regedit imports, in both of its formats: comments, spacing, every kind
// of line end, blank lines inside continued hex data, escapes, and string
// data kept byte for byte.
TEST(TRegistryHive, ReadsWhatRegeditImportsAndKeepsItsBytes) {
    const QString hklm = QStringLiteral("HKEY_LOCAL_MACHINE");
    for (const bool v5 : {false, true}) {
        for (const char* eol : {"\r\n", "\n", "\r"}) {
            const QString c = v5 ? QStringLiteral("41,00,42,00,00,00") : QStringLiteral("41,42,00");
            const QString g = v5 ? QStringLiteral("41,00,00,00,42,00,00,00,00,00")
                                 : QStringLiteral("41,00,42,00,00");
            QString text = (v5 ? QStringLiteral("Windows Registry Editor Version 5.00")
                               : QStringLiteral("REGEDIT4")) +
                           QStringLiteral("|; a comment|# another|[HKEY_LOCAL_MACHINE\\K]|"
                                          "\"a\"\t=\t\"te;xt\" ; a comment after the data|"
                                          "\"b\" = dword:\t0000002a|"
                                          "\"c\"=hex(2):\t%1|"
                                          "\"d\"=hex:01,02,\\ ; after the backslash|"
                                          "; between the lines||  03,04|"
                                          "\"e\"=\"a\\nb\\r\\0c\"|"
                                          "\"f\"=hex(1):|"
                                          "\"g\"=hex(7):%2|"
                                          "\"h\"=hex( 2 ):41,00,00,00|"
                                          "\"line\\nbreak\"=\"in the name\"")
                               .arg(c, g); // and no final line break
            text.replace(u'|', QString::fromLatin1(eol));
            QByteArray bytes;
            if (v5) {
                bytes = "\xFF\xFE";
                bytes += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
            } else {
                bytes = TAnsiCodec::Encode(text);
            }
            const auto hive = TRegistryHive::Parse(bytes, hklm);
            const TRegKey* k = hive.Find(QStringLiteral("K"));
            ASSERT_TRUE(k) << v5 << eol;
            auto v = [&](const char* name) { return *k->FindValue(QLatin1String(name)); };
            EXPECT_EQ(v("a").Text, QStringLiteral("te;xt"));
            EXPECT_EQ(v("b").Data, QByteArray("\x2a\0\0\0", 4));
            EXPECT_EQ(v("c").Text, QStringLiteral("AB"));
            EXPECT_EQ(v("d").Data, QByteArray("\x01\x02\x03\x04"));
            EXPECT_EQ(v("e").Text, QString::fromUtf16(u"a\nb\r\0c", 6));
            EXPECT_EQ(v("f").Data, QByteArray());
            EXPECT_EQ(v("g").Data.size(), v5 ? 10 : 5);
            EXPECT_EQ(v("h").Data, QByteArray("A\0\0\0", 4));
            EXPECT_EQ(v("line\nbreak").Text, QStringLiteral("in the name"));
            // Written and read again, the same values with the same bytes.
            const auto again = TRegistryHive::Parse(hive.Serialize(), hklm);
            const TRegKey* k2 = again.Find(QStringLiteral("K"));
            ASSERT_TRUE(k2);
            auto shown = [](const TRegKey* key) {
                QStringList out;
                for (const TRegValue& value : key->Values)
                    out << QStringLiteral("%1 %2 %3 %4")
                               .arg(value.Name)
                               .arg(value.Type)
                               .arg(QString::fromLatin1(value.Text.toUtf8().toHex()),
                                    value.IsText() ? QString()
                                                   : QString::fromLatin1(value.Data.toHex()));
                return out.join(u'|').toStdString();
            };
            EXPECT_EQ(shown(k2), shown(k)) << v5 << eol;
            EXPECT_EQ(again.Serialize(), hive.Serialize());
        }
    }
}

TEST(TRegistryHive, AUtf8HiveIsWrittenBackInUtf8) {
    const QByteArray body = QStringLiteral("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n"
                                           "\"N\"=\"\u041f\u0440\u0438\u0432\u0435\u0442 "
                                           "\u6771\u4eac\"\r\n\r\n")
                                .toUtf8();
    for (const QByteArray& bytes : {QByteArray("\xEF\xBB\xBF") + body, body}) {
        auto hive = TRegistryHive::Parse(bytes, QStringLiteral("HKEY_LOCAL_MACHINE"));
        EXPECT_EQ(hive.Find(QStringLiteral("K"))->FindValue(QStringLiteral("N"))->Text,
                  QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442 \u6771\u4eac"));
        EXPECT_EQ(hive.Serialize(), bytes);
    }
}

// Found by fuzzing: what is written must read back as the same values.
TEST(TRegistryHive, WhatIsWrittenReadsBackInItsOwnEncoding) {
    const QString root = QStringLiteral("HKEY_LOCAL_MACHINE");
    // A line break next to characters outside Windows-1252 in a UTF-8 hive.
    const QString text = QStringLiteral("\u041f\u0440\u0438\nA\0");
    auto utf8 = TRegistryHive::Parse(
        QStringLiteral(
            "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"N\"=\"\u041f\u0440\u0438\\nA\\0\"\r\n")
            .toUtf8(),
        root);
    ASSERT_EQ(utf8.Find(QStringLiteral("K"))->FindValue(QStringLiteral("N"))->Text, text);
    auto again = TRegistryHive::Parse(utf8.Serialize(), root);
    EXPECT_EQ(again.Find(QStringLiteral("K"))->FindValue(QStringLiteral("N"))->Text, text);
    // An ANSI hive whose comment alone made it invalid UTF-8: the bytes written
    // back would be valid UTF-8, and must still read as Windows-1252.
    auto ansi = TRegistryHive::Parse(
        QByteArray("REGEDIT4\r\n; \xE9\r\n[HKEY_LOCAL_MACHINE\\\xC3\xA9]\r\n"), root);
    ASSERT_NE(ansi.Find(QStringLiteral("\u00c3\u00a9")), nullptr);
    auto back = TRegistryHive::Parse(ansi.Serialize(), root);
    EXPECT_EQ(back.Encoding, TRegistryHive::TEncoding::Ansi);
    EXPECT_NE(back.Find(QStringLiteral("\u00c3\u00a9")), nullptr);
    // A NUL before the terminator of hex string data belongs to the text.
    auto nul = TRegistryHive::Parse(
        Reg(QStringLiteral("[HKEY_LOCAL_MACHINE]\r\n\"V\"=hex(1):41,00,00\r\n")), root);
    EXPECT_EQ(nul.Root->FindValue(QStringLiteral("V"))->Text, QStringLiteral("A") + QChar(0));
}

TEST(TRegistryHive, NestingDeeperThanTheSystemAllowsIsRefusedAndWideKeysLoad) {
    QString deep = QStringLiteral("[HKEY_LOCAL_MACHINE");
    for (int i = 0; i < 60000; ++i)
        deep += QStringLiteral("\\k");
    EXPECT_EQ(ParseError(Reg(deep + QStringLiteral("]\r\n"))),
              QStringLiteral("line 3: the key is nested deeper than 512 levels"));
    deep = QStringLiteral("[HKEY_LOCAL_MACHINE") + QStringLiteral("\\k").repeated(512);
    EXPECT_EQ(ParseError(Reg(deep + QStringLiteral("]\r\n"))), QString());

    QString wide = QStringLiteral("[HKEY_LOCAL_MACHINE\\W]\r\n");
    for (int i = 0; i < 100000; ++i)
        wide += QStringLiteral("\"v%1\"=dword:%2\r\n").arg(i).arg(i % 7);
    wide += QStringLiteral("\"V99999\"=\"last\"\r\n");
    const auto hive = TRegistryHive::Parse(Reg(wide), QStringLiteral("HKEY_LOCAL_MACHINE"));
    ASSERT_EQ(hive.Find(QStringLiteral("W"))->Values.size(), 100000u);
    EXPECT_EQ(hive.Find(QStringLiteral("W"))->Values.back().Text, QStringLiteral("last"));
}
