#pragma once
#include <QWidget>

// The Testing page of the main window.
class TTestingPage : public QWidget {
    Q_OBJECT
public:
    explicit TTestingPage(QWidget* parent = nullptr);
};
