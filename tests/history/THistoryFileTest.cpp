#include "history/THistoryFile.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "history/THistory.h"
#include "tcpip/TParameterSet.h"

#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

HistoryRecord Named(const QString& name) {
    HistoryRecord r;
    r.SetEntryName(name);
    r.SetMaxMTU(QStringLiteral("576"));
    return r;
}

LegacyHistoryRecord LegacyNamed(const QString& name) {
    LegacyHistoryRecord r;
    r.SetEntryName(name);
    r.SetMaxMTU(QStringLiteral("1002"));
    return r;
}

template <class TRecord> QByteArray Image(std::initializer_list<TRecord> records) {
    QByteArray bytes;
    for (const TRecord& r : records)
        bytes.append(r.Bytes(), TRecord::Size);
    return bytes;
}

} // namespace

class THistoryFileTest : public TZephynTest {
protected:
    QString Path(const char* name) const { return DataDir() + u'/' + QLatin1String(name); }
    void Put(const char* name, const QByteArray& bytes) {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray Get(const char* name) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    QStringList Names() const {
        QStringList names;
        for (const HistoryRecord& r : History.Records())
            names << r.EntryName();
        return names;
    }

    TParameterSet Parameters;
    THistory History{Parameters};
    THistoryFile File{History};
};

TEST_F(THistoryFileTest, RecordsRoundTripAndAnEmptyHistoryDeletesTheFile) {
    Put("hist.dat", QByteArray());
    File.LoadHistory();
    EXPECT_EQ(History.Count(), 0);

    History.AppendHistoryRecord(Named(QStringLiteral("one")));
    History.AppendHistoryRecord(Named(QStringLiteral("two")));
    File.SaveHistory();
    EXPECT_EQ(Get("hist.dat"), Image({Named(QStringLiteral("one")), Named(QStringLiteral("two"))}));

    THistory again(Parameters);
    THistoryFile(again).LoadHistory();
    EXPECT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Record(1).EntryName(), QStringLiteral("two"));

    History.Clear();
    File.SaveHistory();
    EXPECT_FALSE(QFile::exists(Path("hist.dat")));
    EXPECT_TRUE(Dialogs().Shown().empty());
}

TEST_F(THistoryFileTest, ARunThatChangedNothingWritesNothing) {
    Put("hist.dat", Image({Named(QStringLiteral("one"))}));
    File.LoadHistory();
    // Meanwhile another copy adds a record; this one, unchanged, ends: the
    // other copy's record stays.
    const QByteArray theirs = Image({Named(QStringLiteral("one")), Named(QStringLiteral("two"))});
    Put("hist.dat", theirs);
    File.SaveHistory();
    EXPECT_EQ(Get("hist.dat"), theirs);
    EXPECT_TRUE(Dialogs().Shown().empty());
    // A change is written.
    History.AppendHistoryRecord(Named(QStringLiteral("three")));
    File.SaveHistory();
    EXPECT_EQ(Get("hist.dat"),
              Image({Named(QStringLiteral("one")), Named(QStringLiteral("three"))}));
}

TEST_F(THistoryFileTest, AnOversizedFileIsNeitherReadNorWrittenOver) {
    {
        QFile f(Path("hist.dat"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(THistoryFile::MaxFileBytes + HistoryRecord::Size)); // sparse
    }
    Dialogs().Answer(mrOk);
    Dialogs().Answer(mrOk);
    File.LoadHistory();
    EXPECT_EQ(History.Count(), 0);
    History.AppendHistoryRecord(Named(QStringLiteral("new")));
    File.SaveHistory();
    ASSERT_EQ(Dialogs().Shown().size(), 2u);
    EXPECT_TRUE(Dialogs().ShownTexts().at(0).contains(
        QStringLiteral("hist.dat is %1 bytes long")
            .arg(THistoryFile::MaxFileBytes + HistoryRecord::Size)));
    EXPECT_EQ(QFileInfo(Path("hist.dat")).size(), THistoryFile::MaxFileBytes + HistoryRecord::Size);
}

TEST_F(THistoryFileTest, APartialRecordIsReportedAndTheOriginalKeptBeforeItIsReplaced) {
    const QByteArray original = Image({Named(QStringLiteral("whole"))}) + QByteArray(1, 'x');
    Put("hist.dat", original);
    Dialogs().Answer(mrOk);
    File.LoadHistory();
    EXPECT_EQ(Dialogs().ShownTexts(), QStringList{QStringLiteral("Read beyond end of file")});
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Names(), QStringList{QStringLiteral("whole")});

    History.AppendHistoryRecord(Named(QStringLiteral("new")));
    File.SaveHistory();
    EXPECT_EQ(Get("hist.dat.bak"), original);
    EXPECT_EQ(Get("hist.dat"),
              Image({Named(QStringLiteral("whole")), Named(QStringLiteral("new"))}));
    // Kept once: the next save replaces hist.dat only.
    File.SaveHistory();
    EXPECT_EQ(Get("hist.dat.bak"), original);
}

TEST_F(THistoryFileTest, TheOlderFileIsImportedAfterTheRecordsOfHistDat) {
    Put("hist.dat", Image({Named(QStringLiteral("current"))}));
    Put("history.dat",
        Image({LegacyNamed(QStringLiteral("old1")), LegacyNamed(QStringLiteral("old2"))}));
    Dialogs().Answer(mrYes);
    File.LoadHistory();
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(Dialogs().Shown()[0].Text,
              QStringLiteral("History file found for older version of Zephyn. Do\r\nyou want to "
                             "import these into the new version? (If\r\nyou answer No, this old "
                             "file will be deleted.)"));
    EXPECT_EQ(Dialogs().Shown()[0].Buttons, TMsgDlgButtons::mbYesNo);
    EXPECT_EQ(Names(), (QStringList{"current", "old1", "old2"}));
    EXPECT_EQ(History.Record(2).IPMTU(), QStringLiteral("1002"));
    EXPECT_EQ(History.Record(2).NDICache(), QStringLiteral("0"));
    EXPECT_FALSE(QFile::exists(Path("history.dat")));
    EXPECT_EQ(Get("hist.dat").size(), 3 * 384);
}

TEST_F(THistoryFileTest, APartialOlderRecordStopsTheImportAndKeepsTheOlderFile) {
    const QByteArray legacy =
        Image({LegacyNamed(QStringLiteral("a")), LegacyNamed(QStringLiteral("b"))}) + "tail";
    Put("history.dat", legacy);
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    File.LoadHistory();
    EXPECT_EQ(Dialogs().ShownTexts().last(),
              QStringLiteral("Error converting history to new format:\r\nRead beyond end of file"));
    EXPECT_EQ(Names(), (QStringList{"a", "b"}));
    EXPECT_EQ(Get("hist.dat").size(), 2 * 384);
    EXPECT_EQ(Get("history.dat"), legacy);
}

TEST_F(THistoryFileTest, DecliningTheImportDeletesTheOlderFileAndKeepsHistDat) {
    Put("hist.dat", Image({Named(QStringLiteral("current"))}));
    Put("history.dat", Image({LegacyNamed(QStringLiteral("old"))}));
    Dialogs().Answer(mrNo);
    File.LoadHistory();
    EXPECT_FALSE(QFile::exists(Path("history.dat")));
    EXPECT_EQ(Names(), QStringList{QStringLiteral("current")});
}

// The save runs in a child process whose file size limit is far below the
// history's size: with SIGXFSZ at its default the child dies mid-write (a
// crash); with it ignored the write fails (a full disk).
TEST_F(THistoryFileTest, ACrashOrAFullDiskDuringTheSaveLeavesTheOldFileIntact) {
    Put("hist.dat", Image({Named(QStringLiteral("old"))}));
    for (int i = 0; i < 2000; ++i)
        History.AppendHistoryRecord(Named(QStringLiteral("record %1").arg(i)));
    for (const bool crash : {true, false}) {
        if (!crash)
            Dialogs().Answer(mrOk);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit limit{64 * 1024, 64 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, crash ? SIG_DFL : SIG_IGN);
            File.SaveHistory();
            const auto& shown = Dialogs().Shown();
            const bool told = shown.size() == 1 && shown[0].Type == TMsgDlgType::mtError &&
                              shown[0].Text.startsWith(QStringLiteral("the disk is full\r\n"));
            ::_exit(told ? 42 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (crash) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42);
            Dialogs().Clear(); // the answer was used by the child
        }
        EXPECT_EQ(Get("hist.dat"), Image({Named(QStringLiteral("old"))})) << crash;
    }
}
