// hist.dat, history.dat and ftptest.prf read from any bytes: the first byte
// picks the file (and the answer to the import question), the rest is its
// content. Every field of every record read is then looked at, as the pages do.
#include "ftptest/TFtpTestProfile.h"
#include "history/THistory.h"
#include "history/THistoryFile.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"

#include <QDir>
#include <QFile>
#include <cstdlib>

namespace {

class TAnswers : public TDialogService {
public:
    int Answer = mrYes;
    int MessageDlg(const QString&, TMsgDlgType, TMsgDlgButtons) override { return Answer; }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
};

QString DataDirectory() {
    static const QString path = [] {
        QByteArray dir = qgetenv("TMPDIR").isEmpty() ? QByteArray("/tmp") : qgetenv("TMPDIR");
        dir += "/zephyn-fuzz-XXXXXX";
        if (!::mkdtemp(dir.data()))
            std::abort();
        qputenv("ZEPHYN_HOME", dir);
        return QString::fromLocal8Bit(dir);
    }();
    return path;
}

void Write(const QString& name, const QByteArray& bytes) {
    QFile file(DataDirectory() + u'/' + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static TAnswers answers;
    SetDialogService(&answers);
    const QString dir = DataDirectory();
    for (const char* name : {"hist.dat", "hist.dat.bak", "history.dat", "ftptest.prf"})
        QFile::remove(dir + u'/' + QLatin1String(name));
    const QByteArray content(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const int choice = data[0] % 4;
    answers.Answer = data[0] & 4 ? mrNo : mrYes;

    if (choice == 3) {
        Write(QStringLiteral("ftptest.prf"), content);
        TFtpTestProfiles profiles;
        profiles.ReadFtpTestProfiles();
        qsizetype total = 0;
        for (const FtpTestProfile& p : profiles.Items)
            total += p.Host().size() + p.Path().size() + p.FileName().size() +
                     p.LoginName().size() + p.Password().size();
        return total < 0;
    }
    // 0: hist.dat alone; 1: history.dat alone; 2: both (the import appends).
    if (choice != 1)
        Write(QStringLiteral("hist.dat"), content);
    if (choice != 0)
        Write(QStringLiteral("history.dat"), content);
    TParameterSet parameters;
    THistory history(parameters);
    THistoryFile file(history);
    file.LoadHistory();
    history.FillList();
    qsizetype total = 0;
    for (int row = 0; row < history.Count(); ++row) {
        for (const QString& text : history.HistoryRowTexts(row))
            total += text.size();
        total += history.Record(row).ProfileCopy().size() + history.Record(row).Comment().size();
    }
    file.SaveHistory();
    return total < 0;
}
