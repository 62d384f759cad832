#pragma once

#include <string>
#include <vector>

#include "rom/rom_info_labels.h"
#include "rom/status_line.h"

namespace velwin::rom {

// A database ("user.ini" or "veltra.ini") that could not be opened or read,
// and the system's error for it (ENOENT when it is not there at all).
struct DatabaseFailure {
  std::string fileName;
  int systemError = 0;
};

// What a database that does not exist means. On Windows both files belong
// beside the program and tool, so a missing one is reported as one that
// cannot be read. On Linux they are the user's own, optional files: a
// missing one is searched as an empty one, and the status panel keeps the
// message of the analysis (or of the patch) before it.
enum class MissingDatabase { kReported, kSearchedAsEmpty };
#ifdef _WIN32
inline constexpr MissingDatabase kPlatformMissingDatabase = MissingDatabase::kReported;
#else
inline constexpr MissingDatabase kPlatformMissingDatabase = MissingDatabase::kSearchedAsEmpty;
#endif

// Looks the ROM shown in labels.ROMCRC up in "user.ini", then "veltra.ini",
// in directory (the current directory by default); writes romdbase and
// ROMDBName, and status panel 0 on a database that cannot be read.
// Streams the files: memory does not grow with file or line length.
// Returns the databases that failed, in the order they were searched.
std::vector<DatabaseFailure> LookupDatabase(RomInfoLabels& labels, StatusLine& status,
                                            const std::string& directory = ".",
                                            MissingDatabase missing = kPlatformMissingDatabase);

}  // namespace velwin::rom
