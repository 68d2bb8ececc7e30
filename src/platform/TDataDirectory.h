#pragma once
#include <QString>

// The program's own directory, where every data file lives: $ZEPHYN_HOME when
// set and not empty; else the executable's folder when a file named
// "portable" stands beside the executable (the build tree has one, an
// installed copy none); else $XDG_DATA_HOME/zephyn (~/.local/share/zephyn).
namespace TDataDirectory {
QString Path();
QString PathFor(const QString& home, const QString& executableFolder);
QString FilePath(const QString& name);
// Makes a folder that does not exist yet (and its missing parents), the
// folder itself readable by its owner only. 0, or the errno of the failure.
int MakePrivateFolder(const QString& path);
} // namespace TDataDirectory
