#include "ftptest/TFtpTestProfile.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TMessageDlg.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

static_assert(sizeof(FtpTestProfile) == FtpTestProfile::Size);

QString TFtpTestProfiles::FileName() {
    return TDataDirectory::FilePath(QStringLiteral("ftptest.prf"));
}

void TFtpTestProfiles::ReadFtpTestProfiles() {
    Items.clear();
    FKeepOriginal = false;
    FRefused = false;
    if (!QFile::exists(FileName()))
        return;
    // A file no list of profiles comes near is not read (a sparse file of a
    // gigabyte would be millions of blank profiles), and never written over.
    const qint64 size = QFileInfo(FileName()).size();
    if (size > MaxRecordFileBytes) {
        FRefused = true;
        MessageDlg(QStringLiteral("%1 is %2 bytes long, more than any list of test profiles. "
                                  "Zephyn has not read it, and will not write over it.")
                       .arg(FileName())
                       .arg(size),
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        return;
    }
    QByteArray data;
    QString reason;
    try {
        ReadRecordFile(FileName(), FtpTestProfile::Size, data);
    } catch (const EInOutError& e) {
        // Every whole profile is kept; the file itself is kept as
        // ftptest.prf.bak before anything writes over it.
        reason = e.ErrorNumber ? FileProblemText(e.ErrorNumber)
                               : QStringLiteral("a stray %1 byte%2 after %3 profile%4")
                                     .arg(size % FtpTestProfile::Size)
                                     .arg(size % FtpTestProfile::Size == 1 ? "" : "s")
                                     .arg(data.size() / FtpTestProfile::Size)
                                     .arg(data.size() / FtpTestProfile::Size == 1 ? "" : "s");
        FKeepOriginal = e.ErrorNumber == 0;
        FRefused = e.ErrorNumber != 0;
    }
    Items.resize(static_cast<size_t>(data.size() / FtpTestProfile::Size));
    if (!Items.empty())
        std::memcpy(static_cast<void*>(Items.data()), data.constData(), data.size());
    if (!reason.isEmpty())
        MessageDlg(QStringLiteral("Unable to read ftp test settings. This is most likely due "
                                  "to\r\na change in file format between Zephyn versions. You'll "
                                  "need to\r\nre-enter your ftp test profile settings.\r\n\r\n%1: %2")
                       .arg(FileName(), reason),
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
}

void TFtpTestProfiles::WriteFtpTestProfiles() {
    if (Items.empty()) {
        MessageDlg(QStringLiteral("No Ftp Test Profile Settings available to save!"),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return;
    }
    if (FRefused) {
        MessageDlg(QStringLiteral("The test profiles were not saved: %1 could not be read at "
                                  "start, and Zephyn does not write over it.")
                       .arg(FileName()),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return;
    }
    try {
        if (FKeepOriginal) {
            // The damaged file as it was, beside the new one, once.
            KeepCopy(FileName(), FileName() + QStringLiteral(".bak"));
            FKeepOriginal = false;
        }
        TAtomicFile file(FileName(), TFileAccess::Private); // it holds passwords
        file.Write(reinterpret_cast<const char*>(Items.data()),
                   static_cast<qsizetype>(Items.size()) * FtpTestProfile::Size);
        file.Commit();
    } catch (const EInOutError& e) {
        // The profiles stay in memory; the user must learn that the file did not change.
        MessageDlg(QStringLiteral("The test profiles could not be saved:\r\n%1")
                       .arg(FileErrorMessage(FileName(), e.ErrorNumber)),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    }
}
