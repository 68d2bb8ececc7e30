#pragma once
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"

#include <QWidget>

// A control's hint, shown as its tooltip and told to screen readers.
inline void SetHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(DisplayText(hint));
    widget->setAccessibleDescription(DisplayText(hint));
}

// A signal's slot that runs a handler of ours, its failures going to the
// application's handler (whatever arguments the signal carries).
template <class Fn> auto Handler(Fn fn) {
    return [fn](auto&&...) { TApplication::Guard(fn); };
}
