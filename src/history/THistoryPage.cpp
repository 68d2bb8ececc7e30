#include "history/THistoryPage.h"

THistoryPage::THistoryPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabshtHistory"));
}
