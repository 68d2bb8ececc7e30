#include "dialup/TPerformancePage.h"

TPerformancePage::TPerformancePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabshtPerformance"));
}
