#include "card/backup_removal.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "fileio/file_error.h"

namespace velwin::card {
namespace {

namespace fs = std::filesystem;

}  // namespace

std::string BackupRemovalRefusal(const std::string& folder, const std::string& path) {
  const fs::path given(path);
  const std::string name = given.filename().string();
  if (!name.starts_with("card-") || !name.ends_with(".gb"))
    return "not a card backup: its name is not card-*.gb";
  // The folder the name lies in, with its links resolved, but not the name
  // itself: a link in the folder is the link, wherever it points.
  std::error_code error;
  const fs::path parent = fs::canonical(fs::absolute(given, error).parent_path(), error);
  std::error_code folderError;
  const fs::path backups = fs::canonical(folder, folderError);
  if (error || folderError || parent != backups)
    return "not in the backup folder " + folder;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    return fileio::RuntimeText(errno);
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
    return "not a file";
  return {};
}

std::string RemoveCardBackup(const std::string& folder, const std::string& path) {
  if (std::string refusal = BackupRemovalRefusal(folder, path); !refusal.empty())
    return refusal;
  if (std::remove(path.c_str()) != 0)
    return fileio::RuntimeText(errno);
  return {};
}

}  // namespace velwin::card
