#include "card/card_backup.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "card/backup_listing.h"
#include "fileio/atomic_file.h"
#include "fileio/byte_file.h"
#include "fileio/file_error.h"

namespace velwin::card {

namespace {

constexpr const char* kSubfolder = "velwin/card-backups";

bool Absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

// A backup name with "-N" before its ".gb".
std::string NumberedName(const std::string& name, int n) {
  return n < 2 ? name : name.substr(0, name.size() - 3) + "-" + std::to_string(n) + ".gb";
}

// Whether the file at path holds exactly contents. A file that cannot be
// read holds nothing.
bool HoldsExactly(const std::string& path, std::span<const std::uint8_t> contents) {
  try {
    fileio::ByteFile file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
    if (static_cast<std::uint64_t>(file.Size()) != contents.size())
      return false;
    std::vector<std::uint8_t> chunk(1u << 16);
    std::size_t offset = 0;
    while (offset < contents.size()) {
      const std::size_t want = std::min(chunk.size(), contents.size() - offset);
      const auto part = std::span<std::uint8_t>(chunk).first(want);
      if (file.Read(part) != want ||
          !std::equal(part.begin(), part.end(),
                      contents.begin() + static_cast<std::ptrdiff_t>(offset)))
        return false;
      offset += want;
    }
    return true;
  } catch (const fileio::FileError&) {
    return false;
  }
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

bool IsCardBackup(const std::string& imagePath, const std::string& backupFolder) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::path(imagePath).parent_path();
  return !backupFolder.empty() &&
         std::filesystem::equivalent(folder.empty() ? "." : folder, backupFolder, error);
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
  // already changed card must never replace the older, truer one. The name
  // is taken only where none exists (CommitNew), so another program that
  // takes it first just moves this backup on to the next number.
  const std::string name = CardBackupName(cardMbit, now);
  for (int n = 1;; ++n) {
    const std::string path = folder + "/" + NumberedName(name, n);
    if (std::filesystem::exists(path, error))
      continue;
    try {
      fileio::AtomicFile file = fileio::AtomicFile::Begin(path);
      file.File().Write(contents);
      file.CommitNew();
      return path;
    } catch (const fileio::FileError& e) {
      if (e.code() != EEXIST)
        throw fileio::FileError(e.code(), e.path().empty() ? path : e.path());
    }
  }
}

std::string KeepCardBackup(const std::string& folder, std::uint8_t cardMbit, std::time_t now,
                           std::span<const std::uint8_t> contents) {
  // A folder that cannot be read cannot take the new backup either: the
  // write below says why.
  std::error_code unreadable;
  const std::vector<BackupEntry> backups = ListCardBackups(folder, unreadable);
  if (!backups.empty() && HoldsExactly(backups.back().path, contents))
    return backups.back().path;
  return WriteCardBackup(folder, cardMbit, now, contents);
}

std::string BackupFailureText(const fileio::FileError& error) {
  std::string text = error.what();
  // "I/O error N" says nothing by itself, and the plain words hide a file
  // standing where the folder should be, or a file system mounted
  // read-only: the system's own words say what to mend.
  if (text.starts_with("I/O error") || error.code() == ENOTDIR || error.code() == EROFS)
    text += " (" + std::string(std::strerror(error.code())) + ")";
  if (!error.path().empty())
    text += ": " + error.path();
  return text;
}

}  // namespace velwin::card
