#include "platform/TNtRegistry.h"
#include "platform/TAtomicFile.h"
#include "platform/TExceptions.h"
#include "platform/TPlainFile.h"

#include <QFileInfo>

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
    RemoveLeftovers();
    return hive;
}

void TNtRegistry::RemoveLeftovers() {
    // A save that was killed leaves its temporary copies (".SYSTEM.XXXXXX",
    // ".SYSTEM.bak.XXXXXX") beside the hives; they go when no other copy of
    // the program is saving there.
    const QString folder = QFileInfo(FSystem.Path()).absolutePath();
    TFolderLock lock(folder);
    if (!lock.TryLock())
        return;
    const QString system = QFileInfo(FSystem.Path()).fileName();
    const QString software = QFileInfo(FSoftware.Path()).fileName();
    TAtomicFile::RemoveLeftoversOf(folder, [&](const QString& name) {
        for (const QString& hive : {system, software})
            for (int n = -1; n < BackupNames; ++n)
                if (name == (n < 0 ? hive : BackupName(hive, n)))
                    return true;
        return false;
    });
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
    QStringList notes;
    if (!system.empty())
        notes << FSystem.Commit(*FHive->Find(SystemKey), system);
    if (!software.empty())
        notes << FSoftware.Commit(*FHive->Find(SoftwareKey), software);
    notes.removeAll(QString());
    return notes.join(QStringLiteral("\r\n\r\n"));
}

QString TNtRegistry::ReadOnlyReason() {
    Read();
    for (const TRegfHive* hive : {&FSystem, &FSoftware})
        if (hive->Dirty())
            return hive->DirtyText() +
                   QStringLiteral("\r\n\r\nZephyn has opened it read-only and writes nothing "
                                  "into it. Start that Windows once and shut it down normally, "
                                  "then try again.");
    // Every value Zephyn writes lives in SYSTEM.
    return FSystem.ReadOnlyReason();
}

QString TNtRegistry::OwnerWarning() {
    return FSystem.OwnerWarning();
}

QString TNtRegistry::StartWarning() {
    for (const TRegfHive* hive : {&FSystem, &FSoftware})
        if (hive->Dirty())
            return hive->DirtyText() +
                   QStringLiteral("\r\n\r\nZephyn has opened it read-only: you can look at the "
                                  "settings, but Save and Defaults will not write them.");
    return QString();
}
