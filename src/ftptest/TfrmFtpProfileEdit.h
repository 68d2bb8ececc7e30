#pragma once
#include <QDialog>
#include <memory>

class QLineEdit;
class QPushButton;
namespace Ui {
class TfrmFtpProfileEdit;
}

// The editor of one FTP test profile. It checks nothing: the test run does.
class TfrmFtpProfileEdit : public QDialog {
    Q_OBJECT
public:
    // The manual's topic on editing a profile.
    static constexpr int HelpContext = 90;

    explicit TfrmFtpProfileEdit(QWidget* parent = nullptr);
    ~TfrmFtpProfileEdit() override;

    bool Saved = false;
    QLineEdit* ebHost() const;
    QLineEdit* ebPath() const;
    QLineEdit* ebFile() const;
    QLineEdit* ebLogin() const;
    QLineEdit* ebPassword() const;
    QPushButton* btnSave() const;
    QPushButton* btnCancel() const;
    QPushButton* btnHelp() const;

    void btnSaveClick();
    void btnCancelClick();
    void btnHelpClick();

private:
    std::unique_ptr<Ui::TfrmFtpProfileEdit> ui;
};
