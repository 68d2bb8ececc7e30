#include "ftptest/TRemainingTimeBar.h"
#include "platform/TClock.h"

#include <cmath>

TRemainingTimeBar::TRemainingTimeBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setTextVisible(false);
}

double TRemainingTimeBar::TimeOfDay() {
    const QTime t = TClock::Now().time();
    return t.msecsSinceStartOfDay() / 86400000.0;
}

void TRemainingTimeBar::StartTiming() {
    StartTime = TimeOfDay();
}

int TRemainingTimeBar::RemainingSeconds() const {
    // 1.1574e-5 is the program's second as a fraction of a day (not 1/86400).
    const double elapsed = (TimeOfDay() - StartTime) / 1.1574e-5;
    if (elapsed == 0)
        return -1;
    const double done = double(value()) - minimum();
    if (done == 0)
        return -1; // nothing yet to estimate from
    const double left = elapsed / done * (double(maximum()) - value() - minimum());
    return int(std::nearbyint(left)); // halves to the even neighbour
}
