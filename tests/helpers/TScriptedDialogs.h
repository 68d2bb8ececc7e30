#pragma once
#include "platform/TMessageDlg.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

// The only way tests answer message and input boxes: answers are queued in
// the order the boxes will come; a box nobody scripted fails the test at once
// (and is answered No/Cancel so nothing blocks). Every box shown is recorded.
class TScriptedDialogs : public TDialogService {
public:
    struct TShownBox {
        TMsgDlgType Type;
        TMsgDlgButtons Buttons;
        QString Text;
    };

    void Answer(int modalResult) { FAnswers.push_back(modalResult); }
    void AnswerInput(bool ok, const QString& value) { FInputs.push_back({ok, value}); }

    const std::vector<TShownBox>& Shown() const { return FShown; }
    // Runs as each message box comes, to see the window as the user does then.
    std::function<void(const QString& text)> WhenShown;
    QStringList ShownTexts() const;
    void Clear();
    // Fails the test for scripted answers nobody asked for.
    void CheckAllUsed();

    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;

private:
    std::deque<int> FAnswers;
    std::deque<std::pair<bool, QString>> FInputs;
    std::vector<TShownBox> FShown;
};

TScriptedDialogs& Dialogs();
