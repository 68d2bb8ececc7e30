#pragma once
#include <QLabel>

// A label that keeps to one line: a text too long for its width is cut with
// an ellipsis, and the whole text is its tool tip and accessible description.
class TOneLineLabel : public QLabel {
    Q_OBJECT
public:
    explicit TOneLineLabel(QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    const QString& FullText() const { return FFull; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Elide();
    QString FFull;
};
