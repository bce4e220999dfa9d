// The program's icon, drawn in code so that no image-format plug-in is needed. The same
// picture is installed as data/pictofold.svg for the desktop's menus.
#pragma once

#include <QIcon>

namespace ui {

QIcon AppIcon();

} // namespace ui
