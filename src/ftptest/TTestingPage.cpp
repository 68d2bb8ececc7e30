#include "ftptest/TTestingPage.h"

TTestingPage::TTestingPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabshtTesting"));
}
