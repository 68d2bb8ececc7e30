#pragma once
#include <QString>

class QWidget;

// Keeps a window's placement in the per-user registry, under a key of its own.
class TFormStorage {
public:
    TFormStorage(QWidget* form, const QString& iniSection);
    // Moves the window to its stored place when that is on a screen; false otherwise.
    bool RestoreFormPlacement();
    void SaveFormPlacement();
    const QString& IniSection() const { return FSection; }

private:
    QWidget* FForm;
    QString FSection;
};
