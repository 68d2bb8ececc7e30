#include "support/THelpWindow.h"
#include "support/TProgramIcon.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
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
    // Back and Forward through the topics visited, as buttons and as keys.
    auto button = [this](const char* name, const QString& text, QStyle::StandardPixmap icon,
                         QKeySequence::StandardKey key) {
        auto* b = new QToolButton;
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setShortcut(key);
        b->setEnabled(false);
        return b;
    };
    QToolButton* back =
        button("HelpBack", QStringLiteral("&Back"), QStyle::SP_ArrowBack, QKeySequence::Back);
    QToolButton* forward = button("HelpForward", QStringLiteral("&Forward"),
                                  QStyle::SP_ArrowForward, QKeySequence::Forward);
    connect(back, &QToolButton::clicked, FBrowser, &QTextBrowser::backward);
    connect(forward, &QToolButton::clicked, FBrowser, &QTextBrowser::forward);
    connect(FBrowser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(FBrowser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    // Escape and Ctrl+W close it, as they close a help window elsewhere.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 4, 4, 0);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(FBrowser);
    resize(640, 560);
    FollowPalette();
}

void THelpWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        FollowPalette();
}

void THelpWindow::FollowPalette() {
    // The manual's links take the palette's link colours where those stand
    // out on its background, and a lighter blue on a dark one (the toolkit
    // would paint the default dark blue on near-black).
    const QPalette p = FBrowser->palette();
    const bool dark = p.color(QPalette::Base).lightness() < 128;
    auto readable = [&](QPalette::ColorRole role, const QColor& onDark) {
        const QColor c = p.color(role);
        return dark && c.lightness() < 160 ? onDark : c;
    };
    const QString sheet = QStringLiteral("body { color: %1; } a { color: %2; }")
                              .arg(p.color(QPalette::Text).name(),
                                   readable(QPalette::Link, QColor(140, 180, 255)).name());
    if (sheet == FBrowser->document()->defaultStyleSheet())
        return;
    FBrowser->document()->setDefaultStyleSheet(sheet);
    if (!FBrowser->source().isEmpty())
        FBrowser->reload();
}

QString THelpWindow::TopicAnchor(int context) {
    return QStringLiteral("topic%1").arg(context);
}

void THelpWindow::ShowTopic(int context) {
    ShowSection(TopicAnchor(context));
}

void THelpWindow::ShowSection(const QString& anchor) {
    QUrl url(QStringLiteral("qrc:/help/Zephyn.html"));
    url.setFragment(anchor);
    FBrowser->setSource(url);
    FBrowser->scrollToAnchor(anchor);
    show();
    raise();
    activateWindow();
}
