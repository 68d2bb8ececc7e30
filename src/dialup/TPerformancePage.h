#pragma once
#include <QWidget>

// The Performance page of the main window.
class TPerformancePage : public QWidget {
    Q_OBJECT
public:
    explicit TPerformancePage(QWidget* parent = nullptr);
};
