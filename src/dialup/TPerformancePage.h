#pragma once
#include <QIcon>
#include <QStyle>
#include <QWidget>
#include <functional>

class TRAS;
class QLabel;
class QTimer;
class QToolButton;

// The Performance page of the main window: the dial-up adapter's byte
// counters sampled once a second while a collection runs. Its tab stays
// hidden unless ZEPHYN_PERFORMANCE_TAB=1.
class TPerformancePage : public QWidget {
    Q_OBJECT
public:
    explicit TPerformancePage(TRAS& ras, QWidget* parent = nullptr);

    // The start-up check: true when dial-up networking is there; otherwise
    // the user is told that statistics will not be available.
    bool CheckDialUp(TRAS& ras);

    // Records the settings in force with a throughput (the History page's).
    std::function<void(int)> AddHistoryRecord;

    void btnStartCollectionClick();
    void btnStopCollectionClick();
    void PerfTimerTimer();

    int32_t ElapsedSeconds = 0;
    int32_t BytesIn = 0, BytesOut = 0;
    int32_t BaseRecv = 0, BaseXmit = 0;
    bool TakeBaseline = false;
    QTimer* PerfTimer;

protected:
    void changeEvent(QEvent* event) override;

public:
    // A play or stop glyph drawn in a colour, sharp at any scale.
    static QIcon GlyphIcon(QStyle::StandardPixmap glyph, const QColor& colour);

private:
    void SetValue(QLabel* label, int32_t value);
    void ShowValueColour();
    void EnableLabels(bool on);

    TRAS& FRAS;
    QToolButton* btnStartCollection = nullptr;
    QToolButton* btnStopCollection = nullptr;
    QLabel* lblSpeed;
    QLabel* lblBytesIn;
    QLabel* lblBytesOut;
    QLabel* lblAvgIn;
    QLabel* lblAvgOut;
    QLabel* lblAvgOverall;
    QLabel* lblTime;
    std::vector<QLabel*> FCaptions;
    bool FTicking = false;
};
