#include "platform/TFormStorage.h"
#include "platform/TRegistry.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

TFormStorage::TFormStorage(QWidget* form, const QString& iniSection)
    : FForm(form), FSection(iniSection) {}

bool TFormStorage::RestoreFormPlacement() {
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
                FForm->resize(rect.size().expandedTo(FForm->minimumSize()));
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
