#include "helpers/TScriptedDialogs.h"

#include <gtest/gtest.h>

QStringList TScriptedDialogs::ShownTexts() const {
    QStringList texts;
    for (const auto& b : FShown)
        texts << b.Text;
    return texts;
}

void TScriptedDialogs::Clear() {
    FAnswers.clear();
    FInputs.clear();
    FShown.clear();
    WhenShown = nullptr;
}

void TScriptedDialogs::CheckAllUsed() {
    EXPECT_TRUE(FAnswers.empty()) << FAnswers.size() << " scripted answer(s) were never asked for";
    EXPECT_TRUE(FInputs.empty()) << FInputs.size() << " scripted input(s) were never asked for";
}

int TScriptedDialogs::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    FShown.push_back({type, buttons, text});
    if (WhenShown)
        WhenShown(text);
    if (FAnswers.empty()) {
        ADD_FAILURE() << "unscripted message box: " << text.toStdString();
        return buttons == TMsgDlgButtons::mbYesNo ? mrNo
               : buttons == TMsgDlgButtons::mbOK || buttons == TMsgDlgButtons::mbOKOpenFolder
                   ? mrOk
                   : mrCancel;
    }
    const int answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
}

bool TScriptedDialogs::InputQuery(const QString& caption, const QString& prompt, QString& value) {
    FShown.push_back({TMsgDlgType::mtInformation, TMsgDlgButtons::mbOKCancel,
                      caption + QStringLiteral(": ") + prompt});
    if (FInputs.empty()) {
        ADD_FAILURE() << "unscripted input box: " << prompt.toStdString();
        return false;
    }
    auto [ok, text] = FInputs.front();
    FInputs.pop_front();
    if (ok)
        value = text;
    return ok;
}

TScriptedDialogs& Dialogs() {
    static TScriptedDialogs dialogs;
    return dialogs;
}
