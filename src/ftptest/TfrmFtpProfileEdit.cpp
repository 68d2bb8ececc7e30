#include "ftptest/TfrmFtpProfileEdit.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"
#include "platform/TWidgetHints.h"
#include "ui_TfrmFtpProfileEdit.h"

TfrmFtpProfileEdit::TfrmFtpProfileEdit(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmFtpProfileEdit>()) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    FitTitle(*this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    for (QLineEdit* e : {ui->ebHost, ui->ebPath, ui->ebFile, ui->ebLogin, ui->ebPassword})
        e->setMinimumWidth(fontMetrics().horizontalAdvance(QString(32, u'x')));
    SetHint(ui->ebHost, QStringLiteral("Enter the fully qualified domain name of the FTP site "
                                       "(for example ftp.brindlecove.example)\r\nor its IP "
                                       "address (for example 192.168.0.1)."));
    SetHint(ui->ebPath, QStringLiteral("Entire path (not including filename) from the root\r\nto "
                                       "where the file is located."));
    SetHint(ui->ebFile, QStringLiteral("Filename of the file you wish to retrieve."));
    SetHint(ui->ebLogin, QStringLiteral("Login name to use for the server. Normally you'd "
                                        "have\r\nthis set to the default of 'anonymous'."));
    SetHint(ui->ebPassword, QStringLiteral("Password for the server login. Typically this "
                                           "would\r\nbe your email address for anonymous logins."));
    connect(ui->btnSave, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnSaveClick(); }));
    connect(ui->btnCancel, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnCancelClick(); }));
    connect(ui->btnHelp, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnHelpClick(); }));
    ui->ebHost->setFocus();
}

TfrmFtpProfileEdit::~TfrmFtpProfileEdit() = default;

void TfrmFtpProfileEdit::SetFields(const TFtpProfileFields& fields) {
    ui->ebHost->setText(fields.Host);
    ui->ebPath->setText(fields.Path);
    ui->ebFile->setText(fields.File);
    ui->ebLogin->setText(fields.Login);
    ui->ebPassword->setText(fields.Password);
}

TFtpProfileFields TfrmFtpProfileEdit::Fields() const {
    return {ui->ebHost->text(), ui->ebPath->text(), ui->ebFile->text(), ui->ebLogin->text(),
            ui->ebPassword->text()};
}

void TfrmFtpProfileEdit::btnSaveClick() {
    Saved = true;
    accept();
}

void TfrmFtpProfileEdit::btnCancelClick() {
    Saved = false;
    reject();
}

void TfrmFtpProfileEdit::btnHelpClick() {
    if (auto* app = TApplication::Instance())
        app->HelpContext(HelpContext);
}
