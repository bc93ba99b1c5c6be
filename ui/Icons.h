// The program's own icons, drawn as SVG and compiled into the program: the six state images
// shared by both trees (ui/icons/*.svg) and the application icon, which `cmake --install`
// also puts into the desktop's icon theme.
#pragma once

#include <QIcon>

namespace qm {

// The state image of an index 0-5 (StateIcon of ui/GameTree.h); an empty icon for others.
QIcon IconForState(int index);
QIcon ApplicationIcon();

}  // namespace qm
