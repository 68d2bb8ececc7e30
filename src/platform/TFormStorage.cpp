#include "platform/TFormStorage.h"
#include "platform/TRegistry.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

TFormStorage::TFormStorage(QWidget* form, const QString& iniSection)
    : FForm(form), FSection(iniSection) {}

bool TFormStorage::RestoreFormPlacement(const QSize& least) {
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    try {
        if (!reg.OpenKey(FSection, false))
            return false;
        const QRect rect(
            reg.ReadInteger(QStringLiteral("Left")), reg.ReadInteger(QStringLiteral("Top")),
            reg.ReadInteger(QStringLiteral("Width")), reg.ReadInteger(QStringLiteral("Height")));
        reg.CloseKey();
        if (rect.width() <= 0 || rect.height() <= 0)
            return false;
        for (QScreen* screen : QGuiApplication::screens()) {
            if (screen->availableGeometry().intersects(rect)) {
                FForm->resize(rect.size().expandedTo(FForm->minimumSize()).expandedTo(least));
                FForm->move(rect.topLeft());
                return true;
            }
        }
    } catch (const std::exception&) {
        // a placement that cannot be read is no placement
    }
    return false;
}

void TFormStorage::SaveFormPlacement() {
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    if (!reg.OpenKey(FSection, true))
        return;
    const QRect rect = FForm->geometry();
    reg.WriteInteger(QStringLiteral("Left"), FForm->x());
    reg.WriteInteger(QStringLiteral("Top"), FForm->y());
    reg.WriteInteger(QStringLiteral("Width"), rect.width());
    reg.WriteInteger(QStringLiteral("Height"), rect.height());
    reg.CloseKey();
}

void TFormStorage::AddStoredProperty(const QString& name, std::function<bool()> get,
                                     std::function<void(bool)> set) {
    FProperties.push_back({name, std::move(get), std::move(set)});
}

void TFormStorage::RestoreProperties() {
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    if (!reg.OpenKey(FSection, false))
        return;
    for (const TStoredProperty& property : FProperties) {
        try {
            if (reg.ValueExists(property.Name))
                property.Set(reg.ReadInteger(property.Name) != 0);
        } catch (const std::exception&) {
            // a value of another type is no stored value
        }
    }
    reg.CloseKey();
}

void TFormStorage::SaveProperties() {
    if (FProperties.empty())
        return;
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    if (!reg.OpenKey(FSection, true))
        return;
    for (const TStoredProperty& property : FProperties)
        reg.WriteInteger(property.Name, property.Get() ? 1 : 0);
    reg.CloseKey();
}
