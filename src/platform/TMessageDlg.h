#pragma once
#include <QString>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
// mbOKOpenFolder: OK and "Open Folder", for a box that names a file just written.
enum class TMsgDlgButtons { mbOK, mbYesNo, mbOKCancel, mbOKOpenFolder };
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7, mrOpenFolder = 100 };

// Every message box and input box of the program goes through one service,
// so that tests can answer them. Texts use "\r\n" for line breaks.
class TDialogService {
public:
    virtual ~TDialogService() = default;
    virtual int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
    // true when the user pressed OK; value holds the text entered.
    virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
};

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons);
bool InputQuery(const QString& caption, const QString& prompt, QString& value);
// nullptr restores the real message boxes.
void SetDialogService(TDialogService* service);
// Widens a dialog so that its title shows whole in the title bar.
void FitTitle(class QDialog& dialog);
// "\r\n" and lone "\r" as real line breaks.
QString DisplayText(const QString& text);
// A message box's icon for its kind, sharp at any scale: the desktop theme's
// own (scalable) icon when there is one, else drawn at the screen's pixel ratio.
class QPixmap MessageDlgIcon(TMsgDlgType type, int size, qreal devicePixelRatio);
