#include "card/backup_listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

namespace velwin::card {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefix = "card-";
constexpr std::string_view kSuffix = ".gb";

// "card-2026-12-07-131502-16Mbit.gb" or "...-16Mbit-2.gb": the number
// before "Mbit".
std::uint8_t MbitOfName(std::string_view name) {
  const std::size_t mbit = name.rfind("Mbit");
  if (mbit == std::string_view::npos)
    return 0;
  const std::size_t dash = name.rfind('-', mbit);
  if (dash == std::string_view::npos)
    return 0;
  unsigned value = 0;
  const char* first = name.data() + dash + 1;
  const char* last = name.data() + mbit;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || (value != 4 && value != 16 && value != 64))
    return 0;
  return static_cast<std::uint8_t>(value);
}

// A backup whose name was taken holds "-N" before ".gb": "...-16Mbit-2.gb"
// was made after "...-16Mbit.gb" in the same second. The name without it
// and N (1 for none) put such backups in the order they were made.
std::pair<std::string_view, unsigned> StemAndNumber(std::string_view name) {
  std::string_view stem = name.substr(0, name.size() - kSuffix.size());
  const std::size_t dash = stem.rfind('-');
  const std::size_t mbit = stem.rfind("Mbit");
  if (dash == std::string_view::npos || mbit == std::string_view::npos || dash < mbit)
    return {stem, 1};
  unsigned number = 0;
  const char* first = stem.data() + dash + 1;
  const char* last = stem.data() + stem.size();
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last || number < 2)
    return {stem, 1};
  return {stem.substr(0, dash), number};
}

// Made before: written earlier, to the nanosecond where the file system
// keeps it; within one tick of its clock, the lower number of one name.
bool MadeBefore(const BackupEntry& a, const BackupEntry& b) {
  if (a.modified != b.modified)
    return a.modified < b.modified;
  if (a.modifiedNs != b.modifiedNs)
    return a.modifiedNs < b.modifiedNs;
  const std::string nameA = fs::path(a.path).filename().string();
  const std::string nameB = fs::path(b.path).filename().string();
  const auto keyA = StemAndNumber(nameA);
  const auto keyB = StemAndNumber(nameB);
  return keyA != keyB ? keyA < keyB : a.path < b.path;
}

}  // namespace

std::vector<BackupEntry> ListCardBackups(const std::string& folder, std::error_code& error) {
  std::vector<BackupEntry> backups;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  error = ec == std::errc::no_such_file_or_directory ? std::error_code() : ec;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix))
      continue;
    struct stat st {};
    if (::stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      continue;
    BackupEntry entry;
    entry.path = it->path().string();
    entry.cardMbit = MbitOfName(name);
    entry.bytes = static_cast<std::uint64_t>(st.st_size);
    entry.modified = st.st_mtim.tv_sec;
    entry.modifiedNs = st.st_mtim.tv_nsec;
    backups.push_back(std::move(entry));
  }
  std::sort(backups.begin(), backups.end(), MadeBefore);
  return backups;
}

}  // namespace velwin::card
