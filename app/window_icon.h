#pragma once

#include <QIcon>

namespace velwin::app {

// velwin's icon at every size it is drawn in (the menu entry's picture),
// from the program's resources.
QIcon VelwinIcon();

}  // namespace velwin::app
