#include "platform/TMessageDlg.h"

#include "platform/TApplication.h"

#include <QApplication>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QSpacerItem>
#include <algorithm>

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
        FitTitle(box);
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
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(caption);
        dialog.setLabelText(DisplayText(prompt));
        dialog.setTextValue(value);
        FitTitle(dialog);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        value = dialog.textValue();
        return true;
    }
};

TDialogService* Current = nullptr;

TDialogService& Service() {
    static TWidgetDialogs widgets;
    return Current ? *Current : widgets;
}

} // namespace

void FitTitle(QDialog& dialog) {
    // The title bar also holds the window manager's buttons and icon.
    const int needed = dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) + 160;
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        // A message box sizes itself from its layout: a spacer across it holds the width.
        grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    } else {
        dialog.setMinimumWidth(std::max(dialog.minimumWidth(), needed));
    }
}

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
