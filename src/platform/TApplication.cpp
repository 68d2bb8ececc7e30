#include "platform/TApplication.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TApplication* TApplication::Instance() {
    return qobject_cast<TApplication*>(qApp);
}

QString TApplication::Title() const {
    return applicationDisplayName();
}

void TApplication::SetTitle(const QString& title) {
    setApplicationDisplayName(title);
}

void TApplication::HandleException(const QString& message) {
    if (OnException)
        OnException(message);
    else
        MessageDlg(message, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

void TApplication::Guard(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        if (auto* app = Instance())
            app->HandleException(ExceptionMessage(e));
    }
}

void TApplication::HelpContext(int context) {
    if (OnHelp)
        OnHelp(context);
}

void TApplication::Terminate() {
    FTerminated = true;
    exit(0);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        HandleException(ExceptionMessage(e));
    } catch (...) {
        HandleException(QStringLiteral("Unknown failure"));
    }
    return false;
}
