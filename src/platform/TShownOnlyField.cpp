#include "platform/TShownOnlyField.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QLineEdit>
#include <QRect>

namespace {

const char* const ShownOnly = "zephynShownOnly";

// Read-only text for assistive technology: the line edit's own interface
// would also call it editable.
class TShownOnlyAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TShownOnlyAccessible(QLineEdit* edit)
        : QAccessibleWidget(edit, QAccessible::EditableText) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.selectableText = true;
        s.passwordEdit = Edit()->echoMode() != QLineEdit::Normal;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? Shown() : QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // The text as shown: a password's bullets, never the password.
    QString text(int start, int end) const override { return Shown().mid(start, end - start); }
    int characterCount() const override { return int(Shown().size()); }
    int cursorPosition() const override { return Edit()->cursorPosition(); }
    void setCursorPosition(int position) override { Edit()->setCursorPosition(position); }
    int selectionCount() const override { return Edit()->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index == 0 && Edit()->hasSelectedText()) {
            *start = Edit()->selectionStart();
            *end = *start + int(Edit()->selectedText().size());
        }
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { Edit()->deselect(); }
    void setSelection(int, int start, int end) override { Edit()->setSelection(start, end - start); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = offset;
        *end = offset;
        return QString();
    }

private:
    QLineEdit* Edit() const { return static_cast<QLineEdit*>(widget()); }
    QString Shown() const { return Edit()->displayText(); }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    auto* edit = qobject_cast<QLineEdit*>(object);
    if (edit && edit->property(ShownOnly).toBool())
        return new TShownOnlyAccessible(edit);
    return nullptr;
}

// The read-only look: the window's colour behind the text. Set again when
// the palette changes (the field's Base is its own, the rest it inherits).
class TLook : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::PaletteChange)
            Apply(static_cast<QLineEdit*>(watched));
        return false;
    }
    static void Apply(QLineEdit* edit) {
        QPalette p = edit->palette();
        bool changed = false;
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            const QColor window = p.color(group, QPalette::Window);
            changed = changed || p.color(group, QPalette::Base) != window;
            p.setColor(group, QPalette::Base, window);
        }
        if (changed) // its own change comes back here as a palette change
            edit->setPalette(p);
    }
};

} // namespace

void MakeShownOnly(QLineEdit* edit) {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
    edit->setProperty(ShownOnly, true);
    edit->setReadOnly(true);
    // An interface made before (the form's set-up names the field) is the
    // line edit's own: it goes, and the next query makes ours.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(edit);
        made && !dynamic_cast<TShownOnlyAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    TLook::Apply(edit);
    edit->installEventFilter(new TLook(edit));
}
