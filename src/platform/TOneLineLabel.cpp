#include "platform/TOneLineLabel.h"

#include <QEvent>
#include <QFontMetrics>

TOneLineLabel::TOneLineLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TOneLineLabel::SetFullText(const QString& text) {
    FFull = text;
    setToolTip(text);
    setAccessibleDescription(text);
    Elide();
}

QSize TOneLineLabel::minimumSizeHint() const {
    return QSize(0, QLabel::minimumSizeHint().height());
}

QSize TOneLineLabel::sizeHint() const {
    // Its width is the layout's to give: the text follows it.
    return QSize(fontMetrics().averageCharWidth() * 20, QLabel::sizeHint().height());
}

void TOneLineLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void TOneLineLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        Elide();
}

void TOneLineLabel::Elide() {
    const QString shown = fontMetrics().elidedText(FFull, Qt::ElideRight, std::max(0, width()));
    if (shown != text())
        setText(shown);
}
