#include "platform/TNtRegistry.h"
#include "platform/TExceptions.h"

namespace {

const QString SystemKey = QStringLiteral("SYSTEM");
const QString SoftwareKey = QStringLiteral("SOFTWARE");

} // namespace

TNtRegistry::TNtRegistry(const QString& folder, const QString& system, const QString& software)
    : FFolder(folder), FSystem(system), FSoftware(software) {}

TRegistryHive TNtRegistry::Load() {
    TRegistryHive hive(QStringLiteral("HKEY_LOCAL_MACHINE"));
    FSystem.Load(*hive.Root->AddSubKey(SystemKey));
    FSoftware.Load(*hive.Root->AddSubKey(SoftwareKey));

    // Windows makes CurrentControlSet at boot; the file only says which set it is.
    const TRegKey* select = hive.Find(QStringLiteral("SYSTEM\\Select"));
    const TRegValue* current = select ? select->FindValue(QStringLiteral("Current")) : nullptr;
    if (!current || current->Type != REG_DWORD || current->Data.size() != 4)
        throw ERegistryException(
            QStringLiteral("The registry file \"%1\" has no Select\\Current value, so Zephyn "
                           "cannot tell which control set Windows uses.")
                .arg(FSystem.Path()));
    const auto* b = reinterpret_cast<const unsigned char*>(current->Data.constData());
    const quint32 n = b[0] | b[1] << 8 | b[2] << 16 | quint32(b[3]) << 24;
    const QString set = QStringLiteral("ControlSet%1").arg(n, 3, 10, QChar(u'0'));
    if (n == 0 || n > 999 || !hive.Find(SystemKey + u'\\' + set))
        throw ERegistryException(
            QStringLiteral("The registry file \"%1\" names control set %2 in Select\\Current, "
                           "but holds no %3.")
                .arg(FSystem.Path())
                .arg(n)
                .arg(set));
    hive.Links.emplace_back(QStringLiteral("SYSTEM\\CurrentControlSet"), SystemKey + u'\\' + set);
    return hive;
}

QString TNtRegistry::Commit() {
    if (FChanges.IsEmpty())
        return QString();
    if (const QString reason = ReadOnlyReason(); !reason.isEmpty())
        throw ERegistryException(reason);
    // Each change goes to the hive its first key names; the other hive is not touched.
    std::vector<TChangeSet::TKeyChange> system, software;
    for (const TChangeSet::TKeyChange& change : FChanges.Keys()) {
        QStringList parts = TRegistryHive::SplitPath(change.Path);
        const QString top = parts.isEmpty() ? QString() : parts.takeFirst();
        TChangeSet::TKeyChange relative = change;
        relative.Path = parts.join(u'\\');
        if (top.compare(SystemKey, Qt::CaseInsensitive) == 0)
            system.push_back(relative);
        else if (top.compare(SoftwareKey, Qt::CaseInsensitive) == 0)
            software.push_back(relative);
        else
            throw ERegistryException(
                QStringLiteral("HKEY_LOCAL_MACHINE\\%1 is in neither the SYSTEM nor the "
                               "SOFTWARE hive of %2, so Zephyn cannot write it.")
                    .arg(change.Path, FFolder));
    }
    if (!system.empty())
        FSystem.Commit(*FHive->Find(SystemKey), system);
    if (!software.empty())
        FSoftware.Commit(*FHive->Find(SoftwareKey), software);
    return QString();
}

QString TNtRegistry::ReadOnlyReason() {
    Read();
    for (const TRegfHive* hive : {&FSystem, &FSoftware})
        if (hive->Dirty())
            return hive->DirtyText() +
                   QStringLiteral("\r\n\r\nZephyn has opened it read-only and writes nothing "
                                  "into it. Start that Windows once and shut it down normally, "
                                  "then try again.");
    return QString();
}

QString TNtRegistry::StartWarning() {
    for (const TRegfHive* hive : {&FSystem, &FSoftware})
        if (hive->Dirty())
            return hive->DirtyText() +
                   QStringLiteral("\r\n\r\nZephyn has opened it read-only: you can look at the "
                                  "settings, but Save and Defaults will not write them.");
    return QString();
}
