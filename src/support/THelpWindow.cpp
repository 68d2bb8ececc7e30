#include "support/THelpWindow.h"
#include "support/TProgramIcon.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Zephyn Help"));
    setWindowIcon(TProgramIcon::Icon());
    FBrowser = new QTextBrowser;
    FBrowser->setObjectName(QStringLiteral("HelpText"));
    FBrowser->setAccessibleName(QStringLiteral("Zephyn Help"));
    FBrowser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FBrowser);
    resize(640, 560);
}

QString THelpWindow::TopicAnchor(int context) {
    return QStringLiteral("topic%1").arg(context);
}

void THelpWindow::ShowTopic(int context) {
    QUrl url(QStringLiteral("qrc:/help/Zephyn.html"));
    url.setFragment(TopicAnchor(context));
    FBrowser->setSource(url);
    FBrowser->scrollToAnchor(TopicAnchor(context));
    show();
    raise();
    activateWindow();
}
