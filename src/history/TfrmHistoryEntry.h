#pragma once
#include <QDialog>
#include <memory>

class HistoryRecord;
class TParameterSet;
class TSettingsInForceView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
namespace Ui {
class TfrmHistoryEntry;
}

// The dialog in which one history record is entered or changed. It only
// checks its fields; the History page fills it and reads it back.
class TfrmHistoryEntry : public QDialog {
    Q_OBJECT
public:
    TfrmHistoryEntry(TParameterSet& parameters, TSettingsInForceView* settings,
                     QWidget* parent = nullptr);
    ~TfrmHistoryEntry() override;

    // True when closed with Save Entry.
    bool DialogSaved = false;

    // The profiles a new record may name; none is chosen yet.
    void OfferProfiles(const QStringList& names);
    // Without dial-up profiles a record holds the global values only: its
    // profile and MTU cannot be chosen.
    void LockProfile();
    // An edited record keeps its own values: Copy Settings is off.
    void DisableCopySettings();
    QString ProfileName() const;
    int MaxMTU() const;

    // The fields from a record; mtu is the MTU the list shows for it.
    void SetRecord(const HistoryRecord& record, const QString& mtu);
    // The record with the fields' values put in (its profile and the copy
    // of it are the caller's).
    HistoryRecord Record(const HistoryRecord& base) const;

    void FormCreate();
    void sbtnCopySettingsClick();
    void sbtnSaveClick();
    void sbtnAbortClick();

private:
    void SetupField(QSpinBox* spin, int highest, int maxLength, int step);
    void seMTUChange(int value);
    void seChange(QSpinBox* spin, int value);

    TParameterSet& FParameters;
    TSettingsInForceView* FSettings;
    std::unique_ptr<Ui::TfrmHistoryEntry> ui;
    int FNdiBefore = 0;
};
