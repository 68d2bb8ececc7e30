#pragma once
#include <QString>

// The program's own directory, where every data file lives:
// $ZEPHYN_HOME, else the executable's folder when writable, else $XDG_DATA_HOME/zephyn.
namespace TDataDirectory {
QString Path();
QString FilePath(const QString& name);
// Makes a folder that does not exist yet (and its missing parents), the
// folder itself readable by its owner only. 0, or the errno of the failure.
int MakePrivateFolder(const QString& path);
} // namespace TDataDirectory
