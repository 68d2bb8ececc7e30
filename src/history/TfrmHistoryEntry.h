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

    QLineEdit* ebEntryName() const;
    QComboBox* cbProfiles() const;
    QSpinBox* seMTU() const;
    QSpinBox* seMSS() const;
    QSpinBox* seRWIN() const;
    QSpinBox* seTTL() const;
    QSpinBox* seNDI() const;
    QCheckBox* ckbxDiscover() const;
    QCheckBox* ckbxBlackHole() const;
    QSpinBox* seThroughput() const;
    QPlainTextEdit* mComment() const;
    QPushButton* sbtnCopySettings() const;
    QPushButton* sbtnSave() const;
    QPushButton* sbtnAbort() const;

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
