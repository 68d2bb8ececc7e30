#include "app/TdataMain.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "platform/TApplication.h"

class TdataMainTest : public TZephynTest {};

TEST_F(TdataMainTest, TheVersionTextDecidesWindows98) {
    {
        TdataMain data; // the fresh hive is the Windows 98 sample
        EXPECT_EQ(data.Parameters.Platform, Win98);
    }
    UseSample(QStringLiteral("win95.reg"));
    {
        TdataMain data;
        EXPECT_EQ(data.Parameters.Platform, Win95);
    }
    UseSample(QStringLiteral("nt4.reg"));
    {
        TdataMain data;
        EXPECT_EQ(data.Parameters.Platform, WinNT);
    }
    // The override picks the family; the hive still tells 98 from 95.
    UseSample(QStringLiteral("win98.reg"));
    qputenv("ZEPHYN_PLATFORM", "win95");
    TdataMain data;
    EXPECT_EQ(data.Parameters.Platform, Win98);
    EXPECT_TRUE(Dialogs().Shown().empty());
}

TEST_F(TdataMainTest, Win32sIsRefusedWithItsMessageAndNothingElse) {
    qputenv("ZEPHYN_PLATFORM", "win32s");
    Dialogs().Answer(mrOk);
    TdataMain data;
    EXPECT_TRUE(data.Refused());
    EXPECT_TRUE(Application->Terminated());
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(Dialogs().Shown()[0].Text,
              QStringLiteral("Sorry, this application requires Win95/98 or NT 4.0 to run."));
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtError);
}

TEST_F(TdataMainTest, AFailureBeforeTheWindowExistsIsShownInAnErrorBox) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE,
              QStringLiteral("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
                             "\"Version\"=dword:00000062\n"));
    Dialogs().Answer(mrOk);
    TdataMain data;
    EXPECT_EQ(data.Parameters.Platform, Win95);
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(Dialogs().Shown()[0].Text, QStringLiteral("Invalid data type for 'Version'"));
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtError);
}
