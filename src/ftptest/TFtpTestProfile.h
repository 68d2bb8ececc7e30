#pragma once
#include "platform/TRecordImage.h"

#include <QString>
#include <vector>

// One FTP test profile as ftptest.prf stores it: 576 bytes of
// length-prefixed Windows-1252 texts.
class FtpTestProfile : public TRecordImage<576> {
public:
    static constexpr TTextSlot HostSlot{0, 128}, PathSlot{129, 255}, FileNameSlot{385, 60},
        LoginNameSlot{446, 64}, PasswordSlot{511, 64};

    QString Host() const { return Text(HostSlot); }
    void SetHost(const QString& s) { SetText(HostSlot, s); }
    QString Path() const { return Text(PathSlot); }
    void SetPath(const QString& s) { SetText(PathSlot, s); }
    QString FileName() const { return Text(FileNameSlot); }
    void SetFileName(const QString& s) { SetText(FileNameSlot, s); }
    QString LoginName() const { return Text(LoginNameSlot); }
    void SetLoginName(const QString& s) { SetText(LoginNameSlot, s); }
    QString Password() const { return Text(PasswordSlot); }
    void SetPassword(const QString& s) { SetText(PasswordSlot, s); }
};

// The test profiles in file order, and ftptest.prf in the data directory.
class TFtpTestProfiles {
public:
    std::vector<FtpTestProfile> Items;

    // Replaces the list with the file's records; an unreadable file gives a
    // warning and an empty list, and stays on disk.
    void ReadFtpTestProfiles();
    // Replaces the file with the list (atomically); raises EInOutError.
    void WriteFtpTestProfiles();
    static QString FileName();
    // No record file of the program is anywhere near this size.
    static constexpr qint64 MaxRecordFileBytes = 64LL * 1024 * 1024;

private:
    bool FKeepOriginal = false; // the file had a stray tail: keep it as .bak first
    bool FRefused = false;      // the file could not be read: never written over
};
