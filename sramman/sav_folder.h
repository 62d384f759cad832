#pragma once

#include <QString>

namespace velwin::sramman {

// The folder the .sav dialogs start in when no other is stored: the user's
// desktop folder where it exists, else the home folder; on Windows the
// design's "c:\windows\desktop".
QString DefaultSavFolder();

// Where a .sav dialog opens for the stored folder: that folder while it
// exists, else the default above (a folder stored by an earlier version, or
// on another machine, may be gone). The stored value itself is not changed.
QString SavDialogStartFolder(const QString& stored);

}  // namespace velwin::sramman
