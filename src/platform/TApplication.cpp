#include "platform/TApplication.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"

#include <QTimer>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The desktop entry this program's windows belong to.
    setDesktopFileName(QStringLiteral("example.brindlecove.Zephyn"));
}

TApplication* TApplication::Instance() {
    return qobject_cast<TApplication*>(qApp);
}

QString TApplication::Title() const {
    return FTitle;
}

void TApplication::SetTitle(const QString& title) {
    // Kept here rather than as the toolkit's display name, which the window
    // system would see appended to every window's title.
    FTitle = title;
}

void TApplication::HandleException(const QString& message) {
    if (OnException)
        OnException(message);
    else
        MessageDlg(message, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

bool TApplication::FDeferring = false;
std::exception_ptr TApplication::FPending;

void TApplication::Guard(const std::function<void()>& fn) {
    // A handler's own work (and any message loop it runs) is not part of the
    // setting code that triggered it.
    const bool deferring = FDeferring;
    FDeferring = false;
    try {
        fn();
    } catch (const std::exception& e) {
        if (deferring && !FPending) {
            FPending = std::current_exception();
        } else if (!deferring) {
            if (auto* app = Instance())
                app->HandleException(ExceptionMessage(e));
        }
    }
    FDeferring = deferring;
}

void TApplication::SetFromCode(const std::function<void()>& set) {
    const bool deferring = FDeferring;
    const std::exception_ptr outer = FPending;
    FDeferring = true;
    FPending = nullptr;
    try {
        set();
    } catch (...) {
        FDeferring = deferring;
        FPending = outer;
        throw;
    }
    FDeferring = deferring;
    std::exception_ptr raised = FPending;
    FPending = outer;
    if (raised)
        std::rethrow_exception(raised);
}

void TApplication::HelpContext(int context) {
    if (OnHelp)
        OnHelp(context);
}

void TApplication::Terminate() {
    FTerminated = true;
    exit(0);
}

void TApplication::ResetTerminated() {
    if (!FTerminated)
        return;
    FTerminated = false;
    // exit() stops every event loop until the application's own loop runs
    // again; one short turn of it clears that.
    QTimer::singleShot(0, this, [] { QCoreApplication::exit(0); });
    exec();
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
