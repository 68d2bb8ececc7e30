#pragma once
#include <QApplication>
#include <exception>
#include <functional>
#include <utility>

// The application object: title, help file, the application-wide exception
// dispatch and orderly termination.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    static TApplication* Instance();

    QString Title() const;
    void SetTitle(const QString& title);
    QString HelpFile;

    // Handler for failures no step caught; while none is set they are shown
    // in an error message box.
    std::function<void(const QString&)> OnException;
    void HandleException(const QString& message);
    // Runs a handler; what it raises goes to HandleException. Inside
    // SetFromCode the failure is handed back to the code that changed the
    // control instead, as if the handler had been called directly.
    static void Guard(const std::function<void()>& fn);
    // Every event handler is wrapped so: Guarded(fn) is fn run through Guard,
    // taking the event's arguments (Guarded<int>(...) for a spin box's value).
    template <class... Args, class F> static std::function<void(Args...)> Guarded(F fn) {
        return [fn](Args... args) { Guard([&] { fn(std::forward<Args>(args)...); }); };
    }
    // Runs code that sets controls whose change handlers run through Guard,
    // then raises what those handlers raised, so the setting code stops there.
    static void SetFromCode(const std::function<void()>& set);

    // Opens help at a topic through the installed viewer.
    std::function<void(int)> OnHelp;
    void HelpContext(int context);

    // Ends the program: the message loop does not start, or stops.
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // For a new run in the same process (tests): also lets event loops run again.
    void ResetTerminated();

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QString FTitle;
    bool FTerminated = false;
    static bool FDeferring;
    static std::exception_ptr FPending;
};

#define Application (TApplication::Instance())
