#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TfrmFtpProfileEdit;
}

// What the editor shows and the user typed.
struct TFtpProfileFields {
    QString Host;
    QString Path;
    QString File;
    QString Login;
    QString Password;
};

// The editor of one FTP test profile. It checks nothing: the test run does.
class TfrmFtpProfileEdit : public QDialog {
    Q_OBJECT
public:
    // The manual's topic on editing a profile.
    static constexpr int HelpContext = 90;

    explicit TfrmFtpProfileEdit(QWidget* parent = nullptr);
    ~TfrmFtpProfileEdit() override;

    bool Saved = false;
    void SetFields(const TFtpProfileFields& fields);
    TFtpProfileFields Fields() const;

    void btnSaveClick();
    void btnCancelClick();
    void btnHelpClick();

private:
    std::unique_ptr<Ui::TfrmFtpProfileEdit> ui;
};
