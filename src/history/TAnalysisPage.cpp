#include "history/TAnalysisPage.h"

TAnalysisPage::TAnalysisPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabshtAnalysis"));
}
