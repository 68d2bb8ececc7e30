#pragma once
#include <QString>

// The program's own directory, where every data file lives:
// $ZEPHYN_HOME, else the executable's folder when writable, else $XDG_DATA_HOME/zephyn.
namespace TDataDirectory {
QString Path();
QString FilePath(const QString& name);
} // namespace TDataDirectory
