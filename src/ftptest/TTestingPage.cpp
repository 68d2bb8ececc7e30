#include "ftptest/TTestingPage.h"
#include "ftptest/TFtpTestProfile.h"
#include "ftptest/TProxySettings.h"
#include "ftptest/TTestRun.h"
#include "ftptest/TfrmFtpProfileEdit.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"
#include "platform/TShownOnlyField.h"
#include "platform/TWidgetHints.h"
#include "ui_TTestingPage.h"

#include <QEvent>
#include <QFontMetrics>

#include <QFile>
#include <QStyle>
#include <algorithm>

TTestingPage::TTestingPage(TFtpTestProfiles& profiles, TProxySettings& proxy, QWidget* parent)
    : QWidget(parent), FProfiles(profiles), FProxy(proxy),
      ui(std::make_unique<Ui::TTestingPage>()) {
    ui->setupUi(this);
    FixFigureSizes();
    ui->cbProxyType->addItems(TProxySettings::TypeEntries());
    ui->cbProxyType->setCurrentIndex(-1);
    // Typing may go below 0 for a moment; the change rule puts it back.
    ui->seProxyPort->setMinimum(-99999);
    ui->btnFtpAdd->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    ui->btnFtpEdit->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    ui->btnFtpDelete->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));

    SetHint(ui->cbFtpHost,
            QStringLiteral("Click to change the active testing profile and choose from list"));
    SetHint(ui->btnFtpAdd, QStringLiteral("Click to add a new Ftp testing profile."));
    SetHint(ui->btnFtpEdit, QStringLiteral("Click to edit the displayed ftp test settings.\r\n(The "
                                           "default settings for ftp.brindlecove.example cannot be "
                                           "edited.)"));
    SetHint(ui->btnFtpDelete, QStringLiteral("Click to delete the displayed Ftp testing "
                                             "profile.\r\n(The default profile for "
                                             "ftp.brindlecove.example cannot be deleted.)"));
    const QString path = QStringLiteral(
        "Entire path (not including filename) from the root\r\nto where the file is located.");
    const QString file = QStringLiteral("Filename of the file you wish to retrieve.");
    const QString login = QStringLiteral("Login name to use for the server. Normally you'd "
                                         "have\r\nthis set to the default of 'anonymous'.");
    const QString password = QStringLiteral("Password for the server login. Typically this "
                                            "would\r\nbe your email address for anonymous logins.");
    // The profile is changed through Add and Edit: its fields only show it.
    for (QLineEdit* e : {ui->ebftpPath, ui->ebftpFilename, ui->ebftpLoginName, ui->ebftpPassword})
        MakeShownOnly(e);
    SetHint(ui->ebftpPath, path);
    SetHint(ui->ebftpFilename, file);
    SetHint(ui->ebftpLoginName, login);
    SetHint(ui->ebftpPassword, password);
    SetHint(ui->ebProxyUsername, login);
    SetHint(ui->ebProxyPassword, password);

    connect(ui->cbFtpHost, &QComboBox::activated, this, Handler([this] { cbFtpHostChange(); }));
    connect(ui->btnFtpAdd, &QToolButton::clicked, this, Handler([this] { btnFtpAddClick(); }));
    connect(ui->btnFtpEdit, &QToolButton::clicked, this, Handler([this] { btnFtpEditClick(); }));
    connect(ui->btnFtpDelete, &QToolButton::clicked, this,
            Handler([this] { btnFtpDeleteClick(); }));
    connect(ui->ebProxy, &QLineEdit::textEdited, this,
            [this](const QString& text) { FProxy.ProxyHost = text; });
    connect(ui->seProxyPort, &QSpinBox::valueChanged, this,
            Handler([this] { seProxyPortChange(); }));
    connect(ui->cbProxyType, &QComboBox::activated, this,
            [this](int index) { FProxy.ProxyType = TProxySettings::TypeKeyword(index); });
    connect(ui->ebProxyUsername, &QLineEdit::textEdited, this,
            [this](const QString& text) { FProxy.ProxyUsername = text; });
    connect(ui->ebProxyPassword, &QLineEdit::textEdited, this,
            [this](const QString& text) { FProxy.ProxyPassword = text; });
    SetHint(ui->cbOwnSettings,
            QStringLiteral("Checked, the test measures with this computer's own TCP/IP "
                           "settings.\r\nUnchecked, its connections carry the Settings page's "
                           "MSS, RWIN, TTL and\r\npath-MTU discovery, as the history record "
                           "says."));
    connect(ui->cbOwnSettings, &QCheckBox::clicked, this,
            [this](bool checked) { emit OwnSettingsToggled(checked); });
    connect(ui->btnStart, &QPushButton::clicked, this, [this] {
        if (OnStartClick)
            OnStartClick();
    });
}

TTestingPage::~TTestingPage() = default;

void TTestingPage::FixFigureSizes() {
    // The figures change several times a second while a file arrives. At a
    // size of their own, the widest they can be, a new text repaints only
    // them: a label whose size may change makes the page lay itself out and
    // paint itself whole every time.
    const QFontMetrics fm(ui->lblAvgXfer->font());
    const int height = ui->lblAvgXfer->sizeHint().height();
    ui->lblAvgXfer->setFixedSize(fm.horizontalAdvance(QStringLiteral("-2147483648")) + 4, height);
    ui->lblRemMins->setFixedSize(fm.horizontalAdvance(QStringLiteral("99999999.99 mins")) + 4,
                                 height);
    // The activity changes a few times a test; its longest text with room to spare.
    ui->lblActivity->setFixedSize(
        fm.horizontalAdvance(QStringLiteral("Downloading file...")) * 5 / 4, height);
}

void TTestingPage::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FixFigureSizes();
}

void TTestingPage::ShowActivity(const QString& text) {
    ui->lblActivity->setText(text);
}

void TTestingPage::ShowThroughput(const QString& text) {
    ui->lblAvgXfer->setText(text);
}

void TTestingPage::ShowRemaining(const QString& text) {
    ui->lblRemMins->setText(text);
}

void TTestingPage::StartTiming() {
    ui->pbFtp->StartTiming();
}

void TTestingPage::SetExpectedSize(int size) {
    ui->pbFtp->setMaximum(size);
}

int TTestingPage::ExpectedSize() const {
    return ui->pbFtp->maximum();
}

int TTestingPage::ShowProgress(int position) {
    ui->pbFtp->setValue(std::min(position, ui->pbFtp->maximum()));
    return ui->pbFtp->RemainingSeconds();
}

void TTestingPage::ShowReadout(const QString& text) {
    ui->lblConnection->SetFullText(text);
}

QString TTestingPage::ReadoutText() const {
    return ui->lblConnection->FullText();
}

bool TTestingPage::OwnSettingsChecked() const {
    return ui->cbOwnSettings->isChecked();
}

void TTestingPage::ShowOwnSettings(bool checked) {
    ui->cbOwnSettings->setChecked(checked);
}

void TTestingPage::ResetFigures() {
    ui->pbFtp->setValue(0);
    ui->lblActivity->setText(QStringLiteral("inactive"));
    ui->lblAvgXfer->setText(QStringLiteral("0"));
}

void TTestingPage::SetRunState(TTestRunState state) {
    ui->btnStart->setText(state == TTestRunState::Running ? QStringLiteral("Ab&ort")
                                                          : QStringLiteral("S&tart"));
    ui->btnStart->setEnabled(state != TTestRunState::Aborting);
    SetProfileControlsEnabled(state != TTestRunState::Running);
    // The settings are taken at Start: the switch waits for the next test.
    ui->cbOwnSettings->setEnabled(state == TTestRunState::Idle);
}

int TTestingPage::SelectedProfileIndex() const {
    return ui->cbFtpHost->currentIndex();
}

int TTestingPage::ProfileCount() const {
    return ui->cbFtpHost->count();
}

QString TTestingPage::ProxyHostText() const {
    return ui->ebProxy->text();
}

int TTestingPage::ProxyPortValue() const {
    return ui->seProxyPort->value();
}

bool TTestingPage::ProfileFieldsFilled() const {
    for (const QLineEdit* e :
         {ui->ebftpPath, ui->ebftpFilename, ui->ebftpLoginName, ui->ebftpPassword})
        if (e->text().isEmpty())
            return false;
    return true;
}

QString TTestingPage::FileNameText() const {
    return ui->ebftpFilename->text();
}

void TTestingPage::FocusProfiles() {
    ui->cbFtpHost->setFocus();
}

void TTestingPage::FocusProxyPort() {
    ui->seProxyPort->setFocus();
}

void TTestingPage::FocusFileName() {
    ui->ebftpFilename->setFocus();
}

void TTestingPage::ShowProxySettings() {
    QSignalBlocker block(ui->seProxyPort);
    if (!FProxy.ProxyHost.isEmpty()) {
        ui->ebProxy->setText(FProxy.ProxyHost);
        ui->seProxyPort->setValue(FProxy.ProxyPort);
        ui->cbProxyType->setCurrentIndex(TProxySettings::TypeIndex(FProxy.ProxyType));
        ui->ebProxyUsername->setText(FProxy.ProxyUsername);
        ui->ebProxyPassword->setText(FProxy.ProxyPassword);
    } else {
        ui->ebProxy->clear();
        ui->ebProxyUsername->clear();
        ui->ebProxyPassword->clear();
        ui->seProxyPort->setValue(0);
        ui->cbProxyType->setCurrentIndex(-1);
    }
}

void TTestingPage::seProxyPortChange() {
    if (ui->seProxyPort->value() < 0)
        ui->seProxyPort->setValue(0); // whose own change stores 0
    else
        FProxy.ProxyPort = ui->seProxyPort->value();
}

void TTestingPage::FillHosts() {
    ui->cbFtpHost->clear();
    // Two profiles on one host are told apart by their path and file.
    for (const FtpTestProfile& p : FProfiles.Items) {
        ui->cbFtpHost->addItem(p.Host());
        QString where = p.Path();
        if (!where.endsWith(u'/'))
            where += u'/';
        ui->cbFtpHost->setItemData(ui->cbFtpHost->count() - 1, where + p.FileName(),
                                   Qt::ToolTipRole);
    }
}

void TTestingPage::ClearProfileBoxes() {
    for (QLineEdit* e : {ui->ebftpPath, ui->ebftpFilename, ui->ebftpLoginName, ui->ebftpPassword})
        e->clear();
}

void TTestingPage::ShowProfile(int index) {
    if (index < 0 || size_t(index) >= FProfiles.Items.size())
        return;
    const FtpTestProfile& p = FProfiles.Items[size_t(index)];
    ui->ebftpPath->setText(p.Path());
    ui->ebftpFilename->setText(p.FileName());
    ui->ebftpLoginName->setText(p.LoginName());
    ui->ebftpPassword->setText(p.Password());
}

void TTestingPage::ShowProfiles() {
    FProfiles.ReadFtpTestProfiles();
    FillHosts();
    if (!FProfiles.Items.empty()) {
        ui->cbFtpHost->setCurrentIndex(0);
        ShowProfile(0);
    } else {
        ui->cbFtpHost->setCurrentIndex(-1);
        ClearProfileBoxes();
    }
}

const FtpTestProfile* TTestingPage::SelectedProfile() const {
    const int index = ui->cbFtpHost->currentIndex();
    if (index < 0 || size_t(index) >= FProfiles.Items.size())
        return nullptr;
    return &FProfiles.Items[size_t(index)];
}

void TTestingPage::SetProfileControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{ui->btnFtpEdit, ui->btnFtpAdd,
                                                      ui->btnFtpDelete, ui->cbFtpHost})
        w->setEnabled(enabled);
}

void TTestingPage::cbFtpHostChange() {
    if (ui->cbFtpHost->currentIndex() < 0 && ui->cbFtpHost->count() > 0)
        ui->cbFtpHost->setCurrentIndex(0);
    ShowProfile(ui->cbFtpHost->currentIndex());
}

void TTestingPage::StoreFields(const TFtpProfileFields& typed, FtpTestProfile& p) {
    p.SetHost(typed.Host);
    p.SetPath(typed.Path);
    p.SetFileName(typed.File);
    p.SetLoginName(typed.Login);
    p.SetPassword(typed.Password);
}

void TTestingPage::SaveProfilesAndShowThem() {
    FProfiles.WriteFtpTestProfiles();
    ui->cbFtpHost->clear();
    FProfiles.ReadFtpTestProfiles();
    FillHosts();
}

void TTestingPage::btnFtpAddClick() {
    TfrmFtpProfileEdit dialog(window());
    dialog.exec();
    if (dialog.Saved) {
        FtpTestProfile p;
        StoreFields(dialog.Fields(), p);
        FProfiles.Items.push_back(p);
        SaveProfilesAndShowThem();
        ui->cbFtpHost->setCurrentIndex(ui->cbFtpHost->count() - 1);
    }
    cbFtpHostChange();
}

void TTestingPage::btnFtpEditClick() {
    const int index = ui->cbFtpHost->currentIndex();
    if (index < 0 || size_t(index) >= FProfiles.Items.size())
        return;
    TfrmFtpProfileEdit dialog(window());
    dialog.SetFields({ui->cbFtpHost->currentText(), ui->ebftpPath->text(),
                      ui->ebftpFilename->text(), ui->ebftpLoginName->text(),
                      ui->ebftpPassword->text()});
    dialog.exec();
    if (dialog.Saved) {
        FtpTestProfile& p = FProfiles.Items[size_t(index)];
        StoreFields(dialog.Fields(), p);
        SaveProfilesAndShowThem();
    }
    ui->cbFtpHost->setCurrentIndex(index);
    cbFtpHostChange();
}

void TTestingPage::btnFtpDeleteClick() {
    const int index = ui->cbFtpHost->currentIndex();
    if (index < 0 || size_t(index) >= FProfiles.Items.size())
        return;
    if (MessageDlg(QStringLiteral("Delete displayed testing profile?"), TMsgDlgType::mtConfirmation,
                   TMsgDlgButtons::mbYesNo) != mrYes)
        return;
    if (FProfiles.Items.size() == 1) {
        FProfiles.Items.clear();
    } else {
        FProfiles.Items.erase(FProfiles.Items.begin() + index);
        FProfiles.WriteFtpTestProfiles();
    }
    ui->cbFtpHost->clear();
    if (!FProfiles.Items.empty()) {
        FProfiles.ReadFtpTestProfiles();
        FillHosts();
        ui->cbFtpHost->setCurrentIndex(0);
        ShowProfile(0);
    } else {
        QFile::remove(TFtpTestProfiles::FileName());
        ui->cbFtpHost->setCurrentIndex(-1);
        ClearProfileBoxes();
    }
}
