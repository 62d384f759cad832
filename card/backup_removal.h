#pragma once

#include <string>

namespace velwin::card {

// Why path is not a card backup that may be removed from folder, or empty:
// it must lie in folder itself, carry a backup's name ("card-*.gb") and be
// a file or a symbolic link (of a link only the link goes). Anything else
// in or out of the folder is the user's and stays.
std::string BackupRemovalRefusal(const std::string& folder, const std::string& path);

// Removes one backup the user chose, after BackupRemovalRefusal allowed it.
// Returns why it could not be removed, or empty.
std::string RemoveCardBackup(const std::string& folder, const std::string& path);

}  // namespace velwin::card
