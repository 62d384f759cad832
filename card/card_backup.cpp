#include "card/card_backup.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "fileio/atomic_file.h"
#include "fileio/file_error.h"

namespace velwin::card {

namespace {

constexpr const char* kSubfolder = "velwin/card-backups";

bool Absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

}  // namespace

std::string CardBackupFolder(const std::function<const char*(const char*)>& getEnv) {
  if (const char* data = getEnv("XDG_DATA_HOME"); Absolute(data)) {
    return std::string(data) + "/" + kSubfolder;
  }
  if (const char* home = getEnv("HOME"); Absolute(home)) {
    return std::string(home) + "/.local/share/" + kSubfolder;
  }
  return {};
}

std::string CardBackupName(std::uint8_t cardMbit, std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
  return "card-" + std::string(stamp) + "-" + std::to_string(cardMbit) + "Mbit.gb";
}

std::string WriteCardBackup(const std::string& folder, std::uint8_t cardMbit, std::time_t now,
                            std::span<const std::uint8_t> contents) {
  if (folder.empty()) {
    throw fileio::FileError(ENOENT, "$HOME");
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    throw fileio::FileError(error.value(), folder);
  }
  // Two writes within one second get two backups: a later backup of an
  // already changed card must never replace the older, truer one.
  const std::string name = CardBackupName(cardMbit, now);
  std::string path = folder + "/" + name;
  for (int n = 2; std::filesystem::exists(path, error); ++n) {
    path = folder + "/" + name.substr(0, name.size() - 3) + "-" + std::to_string(n) + ".gb";
  }
  fileio::AtomicFile file = fileio::AtomicFile::Begin(path);
  file.File().Write(contents);
  file.Commit();
  return path;
}

}  // namespace velwin::card
