#include "history/TfrmHistoryEntry.h"
#include "history/TBaselineRecords.h"
#include "history/THistoryRecord.h"
#include "platform/TApplication.h"
#include "platform/TClock.h"
#include "platform/TConvert.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"
#include "tcpip/TSettingsInForce.h"
#include "ui_TfrmHistoryEntry.h"

#include <QComboBox>
#include <QLineEdit>
#include <climits>

TfrmHistoryEntry::TfrmHistoryEntry(TParameterSet& parameters, TSettingsInForceView* settings,
                                   QWidget* parent)
    : QDialog(parent), FParameters(parameters), FSettings(settings),
      ui(std::make_unique<Ui::TfrmHistoryEntry>()) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    SetupField(ui->seMTU, 9999, 4, 1);
    SetupField(ui->seMSS, 99999, 5, 1);
    SetupField(ui->seRWIN, 99999999, 8, 1);
    SetupField(ui->seTTL, 999, 3, 32);
    SetupField(ui->seNDI, 64, 2, 16);
    SetupField(ui->seThroughput, INT_MAX, 10, 1); // a record holds any measured figure
    const QString copyHint = QStringLiteral(
        "Copy the current settings from the Zephyn \r\nsettings tab to this History entry.");
    ui->sbtnCopySettings->setToolTip(DisplayText(copyHint));
    ui->sbtnCopySettings->setAccessibleDescription(DisplayText(copyHint));

    connect(ui->seMTU, &QSpinBox::valueChanged, this,
            TApplication::Guarded<int>([this](int v) { seMTUChange(v); }));
    for (QSpinBox* spin : {ui->seMSS, ui->seRWIN, ui->seTTL, ui->seThroughput, ui->seNDI})
        connect(spin, &QSpinBox::valueChanged, this,
                TApplication::Guarded<int>([this, spin](int v) { seChange(spin, v); }));
    connect(ui->mComment, &QPlainTextEdit::textChanged, this, [this] {
        // At most 255 characters, like the record's slot.
        const QString text = ui->mComment->toPlainText();
        if (text.size() > 255) {
            QSignalBlocker block(ui->mComment);
            ui->mComment->setPlainText(text.left(255));
            ui->mComment->moveCursor(QTextCursor::End);
        }
    });
    connect(ui->sbtnCopySettings, &QPushButton::clicked, this,
            TApplication::Guarded([this] { sbtnCopySettingsClick(); }));
    connect(ui->sbtnSave, &QPushButton::clicked, this,
            TApplication::Guarded([this] { sbtnSaveClick(); }));
    connect(ui->sbtnAbort, &QPushButton::clicked, this,
            TApplication::Guarded([this] { sbtnAbortClick(); }));
    ui->mComment->setFixedHeight(ui->mComment->fontMetrics().lineSpacing() * 5 + 12);
    FormCreate();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    FitTitle(*this);
}

TfrmHistoryEntry::~TfrmHistoryEntry() = default;

void TfrmHistoryEntry::OfferProfiles(const QStringList& names) {
    ui->cbProfiles->addItems(names);
    ui->cbProfiles->setCurrentIndex(-1);
}

void TfrmHistoryEntry::LockProfile() {
    ui->cbProfiles->setEnabled(false);
    ui->seMTU->setEnabled(false);
}

void TfrmHistoryEntry::DisableCopySettings() {
    ui->sbtnCopySettings->setEnabled(false);
}

QString TfrmHistoryEntry::ProfileName() const {
    return ui->cbProfiles->currentText();
}

int TfrmHistoryEntry::MaxMTU() const {
    return ui->seMTU->value();
}

void TfrmHistoryEntry::SetupField(QSpinBox* spin, int highest, int maxLength, int step) {
    // Typing may go below the lowest value for a moment; the field's change
    // rule then puts it back, as it does for the spin buttons.
    spin->setRange(-highest, highest);
    spin->setSingleStep(step);
    spin->setValue(0);
    spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    if (QLineEdit* edit = spin->findChild<QLineEdit*>())
        edit->setMaxLength(maxLength + 1);
}

void TfrmHistoryEntry::SetRecord(const HistoryRecord& record, const QString& mtu) {
    const bool nt = FParameters.Platform == WinNT;
    ui->ebEntryName->setText(record.EntryName());
    ui->cbProfiles->addItem(record.Profile());
    ui->cbProfiles->setCurrentIndex(0);
    ui->seMTU->setValue(FParameters.ProfileCount > 0 ? StrToInt(mtu) : 0);
    ui->seRWIN->setValue(StrToInt(record.RWIN()));
    ui->seMSS->setValue(StrToInt(record.MSS()));
    ui->seTTL->setValue(StrToInt(record.TTL()));
    ui->ckbxDiscover->setChecked(record.MTUDiscover());
    ui->ckbxBlackHole->setChecked(record.BlackHole());
    ui->seNDI->setValue(nt ? 0 : StrToIntDef(record.NDICache(), 0));
    ui->seThroughput->setValue(record.Throughput());
    ui->mComment->setPlainText(record.Comment());
}

HistoryRecord TfrmHistoryEntry::Record(const HistoryRecord& base) const {
    HistoryRecord r = base;
    r.SetEntryName(ui->ebEntryName->text());
    r.SetIPMTU(r.MaxMTU());
    r.SetRWIN(IntToStr(ui->seRWIN->value()));
    r.SetMSS(IntToStr(ui->seMSS->value()));
    r.SetTTL(IntToStr(ui->seTTL->value()));
    r.SetNDICache(FParameters.Platform == WinNT ? QStringLiteral("-2")
                                                : IntToStr(ui->seNDI->value()));
    r.SetMTUDiscover(ui->ckbxDiscover->isChecked());
    r.SetBlackHole(ui->ckbxBlackHole->isChecked());
    r.SetThroughput(ui->seThroughput->value());
    r.SetComment(ui->mComment->toPlainText().left(255));
    return r;
}

void TfrmHistoryEntry::FormCreate() {
    DialogSaved = false;
    const bool nt = FParameters.Platform == WinNT;
    ui->lblNDI->setEnabled(!nt);
    ui->seNDI->setEnabled(!nt);
    if (nt)
        ui->seNDI->setValue(0);
}

void TfrmHistoryEntry::seMTUChange(int value) {
    if (value < -1)
        ui->seMTU->setValue(-1);
}

void TfrmHistoryEntry::seChange(QSpinBox* spin, int value) {
    if (value < 0) {
        spin->setValue(0);
        return;
    }
    if (spin == ui->seNDI) {
        // Only 0, 16, 32 and 64 by the buttons: 48 goes on to 64, or back to
        // 32 when coming down from above.
        const int before = FNdiBefore;
        FNdiBefore = value;
        if (value == 48)
            spin->setValue(before > 48 ? 32 : 64);
    }
}

void TfrmHistoryEntry::sbtnCopySettingsClick() {
    ui->ebEntryName->setText(HistoryDateText(TClock::Now(), true));
    if (FParameters.ProfileCount > 0) {
        const AdapterProfile* profile = FParameters.ActiveEntry();
        ui->cbProfiles->setCurrentIndex(profile ? ui->cbProfiles->findText(profile->KeyName) : -1);
        ui->seMTU->setValue(profile ? StrToIntDef(profile->MTU, -1) : -1);
    } else {
        ui->cbProfiles->setEnabled(false);
        ui->seMTU->setValue(0);
        ui->seMTU->setEnabled(false);
    }
    if (!FSettings)
        return;
    const TSettingsInForce s = FSettings->SettingsInForce();
    ui->seMSS->setValue(s.MSS);
    ui->seRWIN->setValue(StrToIntDef(s.RWIN, 0));
    ui->seTTL->setValue(StrToIntDef(s.TTL, 0));
    ui->seNDI->setValue(FParameters.Platform == WinNT ? 0 : StrToIntDef(s.NdiCache, 0));
    ui->ckbxDiscover->setChecked(s.AutoDiscover);
    ui->ckbxBlackHole->setChecked(s.BlackHole);
}

void TfrmHistoryEntry::sbtnSaveClick() {
    if (ui->ebEntryName->text().isEmpty()) {
        MessageDlg(QStringLiteral("You must first enter a name for this entry."),
                   TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
        ui->ebEntryName->setFocus();
        return;
    }
    if (ui->cbProfiles->currentIndex() < 0 && FParameters.ProfileCount >= 1) {
        MessageDlg(QStringLiteral("You must first select the profile for this entry."),
                   TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
        ui->cbProfiles->setFocus();
        return;
    }
    DialogSaved = true;
    accept();
}

void TfrmHistoryEntry::sbtnAbortClick() {
    DialogSaved = false;
    reject();
}
