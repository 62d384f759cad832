#include "sram/sram_backup.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "encoding/windows1252.h"
#include "fileio/atomic_file.h"
#include "fileio/file_error.h"

namespace velwin::sramman {
namespace {

constexpr const char* kSubfolder = "velwin/sram-backups";
// Past this many saves of one game in one second something else is wrong.
constexpr int kMostNamesTried = 1000;

bool Absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string FileNameOfTitle(const std::string& gameTitle) {
  std::string name = encoding::Windows1252ToUtf8(gameTitle);
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  while (!name.empty() && name.front() == ' ')
    name.erase(name.begin());
  for (char& c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\')
      c = '_';
  }
  if (name.empty())
    return "game";
  if (name.front() == '.')
    name.front() = '_';
  return name;
}

}  // namespace

std::string SramBackupFolder(const std::function<const char*(const char*)>& getEnv) {
  if (const char* data = getEnv("XDG_DATA_HOME"); Absolute(data))
    return std::string(data) + "/" + kSubfolder;
  if (const char* home = getEnv("HOME"); Absolute(home))
    return std::string(home) + "/.local/share/" + kSubfolder;
  return {};
}

std::string SramBackupName(const std::string& gameTitle, std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
  return FileNameOfTitle(gameTitle) + " " + stamp + ".sav";
}

std::string WriteSramBackup(const std::string& folder, const std::string& gameTitle,
                            std::time_t now, std::span<const std::uint8_t> sram) {
  if (folder.empty())
    throw fileio::FileError(ENOENT, "$HOME");
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error)
    throw fileio::FileError(error.value(), folder);
  const std::string name = SramBackupName(gameTitle, now);
  const std::string stem = folder + "/" + name.substr(0, name.size() - 4);
  for (int n = 1; n <= kMostNamesTried; ++n) {
    const std::string path = n == 1 ? folder + "/" + name : stem + "-" + std::to_string(n) + ".sav";
    try {
      // Published only where no file of the name exists, not even one made
      // a moment ago: a backup never replaces another file.
      fileio::AtomicFile file = fileio::AtomicFile::Begin(path);
      file.File().Write(sram);
      file.CommitNew();
      return path;
    } catch (const fileio::FileError& e) {
      if (e.code() != EEXIST)
        throw;
    }
  }
  throw fileio::FileError(EEXIST, stem + ".sav");
}

}  // namespace velwin::sramman
