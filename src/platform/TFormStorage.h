#pragma once
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

// Keeps a window's placement, and the properties named to it, in the per-user
// registry under a key of its own.
class TFormStorage {
public:
    // A yes/no property kept as a DWORD 0 or 1 under its own value name.
    void AddStoredProperty(const QString& name, std::function<bool()> get,
                           std::function<void(bool)> set);
    // Sets the stored properties that the registry holds; the others stay as they are.
    void RestoreProperties();
    void SaveProperties();

    TFormStorage(QWidget* form, const QString& iniSection);
    // Moves the window to its stored place when that is on a screen; false otherwise.
    // The saved place and size, but never smaller than least (what the
    // content needs now, on this screen and at this font).
    bool RestoreFormPlacement(const QSize& least = QSize());
    void SaveFormPlacement();
    const QString& IniSection() const { return FSection; }

private:
    struct TStoredProperty {
        QString Name;
        std::function<bool()> Get;
        std::function<void(bool)> Set;
    };
    std::vector<TStoredProperty> FProperties;
    QWidget* FForm;
    QString FSection;
};
