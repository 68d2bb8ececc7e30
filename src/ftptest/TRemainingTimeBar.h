#pragma once
#include <QProgressBar>

// A progress bar that also estimates the time left from the time since
// StartTiming and the share of the bar already filled.
class TRemainingTimeBar : public QProgressBar {
    Q_OBJECT
public:
    explicit TRemainingTimeBar(QWidget* parent = nullptr);

    double StartTime = 0; // time of day, as a fraction of a day
    void StartTiming();
    // Seconds left, or -1 within the clock instant of StartTiming.
    int RemainingSeconds() const;
    // The time of day as a fraction of a day, from the program's clock.
    static double TimeOfDay();
};
