#include "platform/TMessageDlg.h"

#include "platform/TApplication.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QString Caption() {
    const QString title = Application ? Application->Title() : QString();
    return title.isEmpty() ? QStringLiteral("Zephyn for Windows") : title;
}

class TWidgetDialogs : public TDialogService {
public:
    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(Caption());
        box.setText(DisplayText(text));
        switch (type) {
        case TMsgDlgType::mtWarning:
            box.setIcon(QMessageBox::Warning);
            break;
        case TMsgDlgType::mtError:
            box.setIcon(QMessageBox::Critical);
            break;
        case TMsgDlgType::mtInformation:
            box.setIcon(QMessageBox::Information);
            break;
        case TMsgDlgType::mtConfirmation:
            box.setIcon(QMessageBox::Question);
            break;
        }
        switch (buttons) {
        case TMsgDlgButtons::mbOK:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case TMsgDlgButtons::mbYesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case TMsgDlgButtons::mbOKCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Ok:
            return mrOk;
        case QMessageBox::Yes:
            return mrYes;
        case QMessageBox::No:
            return mrNo;
        default:
            return mrCancel;
        }
    }
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override {
        bool ok = false;
        const QString text =
            QInputDialog::getText(QApplication::activeWindow(), caption, DisplayText(prompt),
                                  QLineEdit::Normal, value, &ok);
        if (ok)
            value = text;
        return ok;
    }
};

TDialogService* Current = nullptr;

TDialogService& Service() {
    static TWidgetDialogs widgets;
    return Current ? *Current : widgets;
}

} // namespace

QString DisplayText(const QString& text) {
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    return Service().MessageDlg(text, type, buttons);
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value) {
    return Service().InputQuery(caption, prompt, value);
}

void SetDialogService(TDialogService* service) {
    Current = service;
}
