#pragma once

#include <string>

#include "mainwindow/rom/rom_info_labels.h"
#include "mainwindow/rom/status_line.h"

namespace velwin::rom {

// Looks the ROM shown in labels.ROMCRC up in "user.ini", then "veltra.ini",
// in directory (the current directory by default); writes romdbase and
// ROMDBName, and status panel 0 on a database that cannot be read.
// Streams the files: memory does not grow with file or line length.
void LookupDatabase(RomInfoLabels& labels, StatusLine& status, const std::string& directory = ".");

}  // namespace velwin::rom
