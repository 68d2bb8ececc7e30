#pragma once
#include <QWidget>

// The Analysis page of the main window.
class TAnalysisPage : public QWidget {
    Q_OBJECT
public:
    explicit TAnalysisPage(QWidget* parent = nullptr);
};
