#pragma once
#include <QWidget>

class TRAS;

// The Performance page of the main window (its tab stays hidden).
class TPerformancePage : public QWidget {
    Q_OBJECT
public:
    explicit TPerformancePage(QWidget* parent = nullptr);

    // The start-up check: true when dial-up networking is there; otherwise
    // the user is told that statistics will not be available.
    bool CheckDialUp(TRAS& ras);
};
