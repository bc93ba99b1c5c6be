// The program's own icons, drawn as SVG and compiled into the program: the state images
// shared by both trees (ui/icons/*.svg) and the application icon, which `cmake --install`
// also puts into the desktop's icon theme.
#pragma once

#include <QIcon>

namespace qm {

// The state image of an index 0-5 (StateIcon of ui/GameTree.h) or 10 (a new ROM of which no good
// dump is known, in the tree of new dropped ROMs); an empty icon for others.
QIcon IconForState(int index);
QIcon ApplicationIcon();

}  // namespace qm
