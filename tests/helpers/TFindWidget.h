#pragma once
#include <QObject>
#include <QString>
#include <memory>
#include <stdexcept>
#include <string>

// A window's widget by its object name, as a screen reader or a user's tool
// finds it: the pages and dialogs keep their widgets to themselves. A widget
// that is not there fails the test at once.
template <class T> T* FindWidget(const QObject* parent, const char* name) {
    T* widget = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!widget)
        throw std::runtime_error(std::string("no widget named ") + name);
    return widget;
}

template <class T> T* FindWidget(const QObject& parent, const char* name) {
    return FindWidget<T>(&parent, name);
}

template <class T, class P> T* FindWidget(const std::unique_ptr<P>& parent, const char* name) {
    return FindWidget<T>(parent.get(), name);
}
