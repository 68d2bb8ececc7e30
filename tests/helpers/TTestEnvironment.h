#pragma once
#include "platform/TClock.h"
#include "platform/TRegistryHive.h"
#include "platform/TRegistryStore.h"
#include "platform/TWinSock.h"

#include <QApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

// Failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// Runs the event loop until cond holds or ms have passed; unlike
// QTest::qWaitFor it does not sleep between events, so a transfer that needs
// one event per block runs at full speed.
bool WaitUntil(const std::function<bool()>& cond, int ms);

// Runs fn on the modal dialog of type T once it runs (waits at most 3 s, so a
// dialog that never comes fails the test instead of hanging it).
template <class T> void WhenModal(std::function<void(T&)> fn) {
    // The pending timer holds the poll; the poll itself only a weak reference.
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> self = poll;
    *poll = [tries, self, fn] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            fn(*w);
            return;
        }
        if (++*tries >= 300)
            ADD_FAILURE() << "the dialog never came";
        else if (auto again = self.lock())
            QTimer::singleShot(10, [again] { (*again)(); });
    };
    QTimer::singleShot(0, [poll] { (*poll)(); });
}

// A fixed clock for tests.
class TFixedClock : public TClockSource {
public:
    uint32_t Ticks = 1000;
    QDateTime When = QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7));
    uint32_t GetTickCount() override { return Ticks; }
    QDateTime Now() override { return When; }
};

// Every test runs in a fresh data directory with scripted dialogs, a fixed
// clock and a host whose name and addresses the test sets.
class TZephynTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString DataDir() const { return FDir.path(); }
    QString HivePath(THKey root) const;
    // Writes a REGEDIT4 hive from lines (CR LF line ends, Windows-1252).
    void WriteHive(THKey root, const QString& text);
    // Puts one of the bundled samples in place as the machine hive.
    void UseSample(const QString& name);
    QString ReadHiveText(THKey root) const;
    // A value as the hive file on disk holds it (the file is parsed afresh).
    std::optional<TRegValue> HiveValue(THKey root, const QString& key, const QString& name) const;
    bool HiveKeyExists(THKey root, const QString& key) const;
    // A hist.dat of one empty record, so that start-up makes no baseline records.
    void WriteOneRecordHistory();
    // A data file of fixed-size records (hist.dat, ftptest.prf), back to back.
    template <class TRecord>
    void WriteRecords(const QString& name, const std::vector<TRecord>& records) {
        QByteArray bytes;
        for (const TRecord& r : records)
            bytes.append(r.Bytes(), TRecord::Size);
        WriteDataFile(name, bytes);
    }
    void WriteDataFile(const QString& name, const QByteArray& bytes);
    // zeph_err.log as text, empty when there is none.
    QString ErrorLogText() const;

    QStringList LocalAddresses;
    QString HostName = QStringLiteral("zephyn-test");
    bool HostNameFails = false;
    TFixedClock Clock;

private:
    QTemporaryDir FDir;
    TWinSock::THostSource FHost;
};
