#pragma once
#include <QWidget>

// The History page of the main window.
class THistoryPage : public QWidget {
    Q_OBJECT
public:
    explicit THistoryPage(QWidget* parent = nullptr);
};
