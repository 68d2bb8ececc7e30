#include "ftptest/TFtpTestProfile.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TMessageDlg.h"

#include <QFile>
#include <cstring>

static_assert(sizeof(FtpTestProfile) == FtpTestProfile::Size);

QString TFtpTestProfiles::FileName() {
    return TDataDirectory::FilePath(QStringLiteral("ftptest.prf"));
}

void TFtpTestProfiles::ReadFtpTestProfiles() {
    Items.clear();
    if (!QFile::exists(FileName()))
        return;
    QByteArray data;
    try {
        ReadRecordFile(FileName(), FtpTestProfile::Size, data);
    } catch (const EInOutError&) {
        MessageDlg(QStringLiteral("Unable to read ftp test settings. This is most likely due "
                                  "to\r\na change in file format between Zephyn versions. You'll "
                                  "need to\r\nre-enter your ftp test profile settings."),
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        return;
    }
    Items.resize(static_cast<size_t>(data.size() / FtpTestProfile::Size));
    if (!Items.empty())
        std::memcpy(static_cast<void*>(Items.data()), data.constData(), data.size());
}

void TFtpTestProfiles::WriteFtpTestProfiles() {
    if (Items.empty()) {
        MessageDlg(QStringLiteral("No Ftp Test Profile Settings available to save!"),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return;
    }
    try {
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
