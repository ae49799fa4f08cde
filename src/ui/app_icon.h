#pragma once
// The program's icon for the window and the tray: the installed theme icon "velloran" when
// there is one, otherwise the same picture drawn here (no SVG plugin needed).

#include <QIcon>

namespace shell_icon {
QIcon appIcon();
}
