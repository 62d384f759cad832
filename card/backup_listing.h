#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <system_error>
#include <vector>

namespace velwin::card {

// One card backup as the backup folder holds it.
struct BackupEntry {
  std::string path;
  std::uint8_t cardMbit = 0;  // from the name; 0 when the name does not tell
  std::uint64_t bytes = 0;
  std::time_t modified = 0;  // when it was written
  long modifiedNs = 0;       // and the nanoseconds past that second
};

// The card backups in folder ("card-*.gb" regular files) in the order they
// were made, oldest first: by the time they were written, and those of one
// second's name by their number ("-2" after the first, "-10" after "-9"). A missing folder has
// none; files that vanish while the folder is read are left out. A folder that is there but cannot
// be read (no permission, not a folder) sets error: it may hold backups, so "none" would be false.
std::vector<BackupEntry> ListCardBackups(const std::string& folder, std::error_code& error);

}  // namespace velwin::card
