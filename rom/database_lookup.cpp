#include "rom/database_lookup.h"

#include <cerrno>

#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "rom/database_lines.h"

namespace velwin::rom {
namespace {

// Names longer than this are kept cut; no label shows more.
constexpr std::size_t kNameBytesKept = 4096;

struct Database {
  const char* fileName;
  const char* label;
  const char* errorText;
};

constexpr Database kDatabases[] = {
    {"user.ini", "User.INI", "Error accessing user.ini"},
    {"veltra.ini", "VELTra.INI", "Error accessing veltra.ini"},
};

// Searches one open database for the key; on a hit, name receives the line
// before the key line (empty when the key line comes first).
bool SearchDatabase(fileio::ByteFile& file, std::string_view key, std::string& name) {
  DatabaseLines lines(file, kNameBytesKept);
  return lines.FindKeyLine(key, name);
}

}  // namespace

std::vector<DatabaseFailure> LookupDatabase(RomInfoLabels& labels, StatusLine& status,
                                            const std::string& directory, MissingDatabase missing) {
  std::vector<DatabaseFailure> failures;
  labels.ROMDBName = std::string("-");  // moved in whole; see WriteHeaderLabels
  labels.romdbase = std::string("none");
  const std::string key = "CRC: 0X" + labels.ROMCRC;
  bool found = false;
  for (const Database& database : kDatabases) {
    try {
      // Both files are opened even after a hit, so that a database that
      // cannot be read is reported every time.
      auto file = fileio::ByteFile::Open(directory + "/" + database.fileName,
                                         fileio::ByteFile::Access::kRead);
      std::string name;
      if (!found && SearchDatabase(file, key, name)) {
        found = true;
        labels.romdbase = std::string(database.label);
        labels.ROMDBName = name;
      }
      file.Close();
    } catch (const fileio::FileError& error) {
      if (error.code() == ENOENT && missing == MissingDatabase::kSearchedAsEmpty)
        continue;
      status.SetText(database.errorText);
      status.RepaintNow();
      failures.push_back({database.fileName, error.code()});
    }
  }
  return failures;
}

}  // namespace velwin::rom
