#pragma once
#include <QIcon>

// The program's icon, drawn at run time: a wind-swept "Z" on a blue tile.
namespace TProgramIcon {
QIcon Icon();
QPixmap Pixmap(int size);
} // namespace TProgramIcon
