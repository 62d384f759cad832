#pragma once

#include <QString>

namespace velwin::gui {

// Where a file dialog starts while no folder is stored for it: the user's
// desktop folder where it exists, else the home folder. Not the process's
// current folder, which for a program started from a menu is wherever the
// desktop happened to start it.
QString DesktopOrHomeFolder();

}  // namespace velwin::gui
