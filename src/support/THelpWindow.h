#pragma once
#include <QWidget>

class QTextBrowser;

// The program's help: its own HTML manual, opened at a topic number.
class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    void ShowTopic(int context);
    // Opens the manual at a section of its own ("settings", "testing", ...).
    void ShowSection(const QString& anchor);
    QTextBrowser* Browser() const { return FBrowser; }
    static QString TopicAnchor(int context);

protected:
    void changeEvent(QEvent* event) override;

private:
    // The manual's text and link colours from the palette, readable on it.
    void FollowPalette();

    QTextBrowser* FBrowser;
};
