#include "history/THistoryFile.h"
#include "history/THistory.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TMessageDlg.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

void ShowError(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

template <class TRecord> std::vector<TRecord> RecordsOf(const QByteArray& data) {
    std::vector<TRecord> records(static_cast<size_t>(data.size() / TRecord::Size));
    if (!records.empty())
        std::memcpy(static_cast<void*>(records.data()), data.constData(), data.size());
    return records;
}

} // namespace

THistoryFile::THistoryFile(THistory& history) : FHistory(history) {}

QString THistoryFile::FileName() const {
    return TDataDirectory::FilePath(QStringLiteral("hist.dat"));
}

QString THistoryFile::LegacyFileName() const {
    return TDataDirectory::FilePath(QStringLiteral("history.dat"));
}

void THistoryFile::LoadHistory() {
    FHistory.Clear();
    if (QFile::exists(LegacyFileName())) {
        const int answer = MessageDlg(
            QStringLiteral("History file found for older version of Zephyn. Do\r\nyou want to "
                           "import these into the new version? (If\r\nyou answer No, this old "
                           "file will be deleted.)"),
            TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo);
        if (answer == mrYes) {
            // The records already in hist.dat come first, the imported ones after them.
            if (QFile::exists(FileName()))
                ReadHistFile();
            ImportLegacyHistory();
            return;
        }
        QFile::remove(LegacyFileName());
    }
    if (QFile::exists(FileName()))
        ReadHistFile();
}

void THistoryFile::ReadHistFile() {
    // A file no history comes near is not read (a sparse file of a gigabyte
    // would be millions of blank records), and never written over.
    const qint64 size = QFileInfo(FileName()).size();
    if (size > MaxFileBytes) {
        FRefused = true;
        ShowError(QStringLiteral("%1 is %2 bytes long, more than any history. Zephyn has not "
                                 "read it, and will not write over it.")
                      .arg(FileName())
                      .arg(size));
        return;
    }
    QByteArray data;
    try {
        ReadRecordFile(FileName(), HistoryRecord::Size, data);
    } catch (const EInOutError& e) {
        FHistory.Assign(RecordsOf<HistoryRecord>(data));
        FKeepOriginal = true;
        // A partial record keeps its own text; anything else names the file.
        ShowError(e.ErrorNumber ? FileErrorMessage(FileName(), e.ErrorNumber) : e.Message());
        return;
    }
    FHistory.Assign(RecordsOf<HistoryRecord>(data));
    FSavedDigest = Digest();
}

QByteArray THistoryFile::Digest() const {
    const auto& records = FHistory.Records();
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(records.data()),
                       static_cast<qsizetype>(records.size()) * HistoryRecord::Size),
        QCryptographicHash::Sha256);
}

void THistoryFile::ImportLegacyHistory() {
    std::vector<HistoryRecord> records = FHistory.Records();
    bool complete = true;
    QByteArray data;
    try {
        ReadRecordFile(LegacyFileName(), LegacyHistoryRecord::Size, data);
    } catch (const EInOutError& e) {
        complete = false;
        ShowError(QStringLiteral("Error converting history to new format:\r\n") + e.Message());
    }
    for (const LegacyHistoryRecord& old : RecordsOf<LegacyHistoryRecord>(data))
        records.push_back(old.Converted());
    FHistory.Assign(std::move(records));
    if (complete)
        QFile::remove(LegacyFileName());
    try {
        WriteHistFile();
    } catch (const EInOutError& e) {
        ShowError(QStringLiteral("Error updating new history file:\r\n") + e.Message());
    }
}

void THistoryFile::SaveHistory() {
    // A run that changed nothing writes nothing: hist.dat stays as it is,
    // with whatever another copy of the program has written there since.
    if (!FSavedDigest.isEmpty() && FSavedDigest == Digest())
        return;
    if (FRefused) {
        ShowError(QStringLiteral("The history was not saved: %1 could not be read at start, and "
                                 "Zephyn does not write over it.")
                      .arg(FileName()));
        return;
    }
    try {
        if (FHistory.Count() <= 0) {
            if (QFile::exists(FileName())) {
                KeepUnreadOriginal();
                if (::unlink(QFile::encodeName(FileName()).constData()) != 0)
                    RaiseInOutError(errno);
            }
            return;
        }
        WriteHistFile();
    } catch (const EInOutError& e) {
        ShowError((e.ErrorNumber ? FileProblemText(e.ErrorNumber) : e.Message()) +
                  QStringLiteral("\r\n\r\nThe history could not be saved to ") + FileName() +
                  QStringLiteral("; the file there was left as it was."));
    }
}

void THistoryFile::WriteHistFile() {
    KeepUnreadOriginal();
    QElapsedTimer timer;
    timer.start();
    TAtomicFile file(FileName());
    const auto& records = FHistory.Records();
    file.Write(reinterpret_cast<const char*>(records.data()),
               static_cast<qsizetype>(records.size()) * HistoryRecord::Size);
    LastSaveTimes.WriteNs = timer.nsecsElapsed();
    file.Sync();
    LastSaveTimes.SyncNs = timer.nsecsElapsed() - LastSaveTimes.WriteNs;
    file.Commit();
    FSavedDigest = Digest();
    LastSaveTimes.CommitNs = timer.nsecsElapsed() - LastSaveTimes.WriteNs - LastSaveTimes.SyncNs;
}

void THistoryFile::KeepUnreadOriginal() {
    if (!FKeepOriginal || !QFile::exists(FileName()))
        return;
    if (QFileInfo(FileName()).isDir())
        RaiseInOutError(EISDIR); // nothing to keep, and nothing to replace
    KeepCopy(FileName(), BackupFileName());
    FKeepOriginal = false;
}
