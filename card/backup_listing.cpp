#include "card/backup_listing.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>
#include <system_error>

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
    entry.modified = st.st_mtime;
    backups.push_back(std::move(entry));
  }
  std::sort(backups.begin(), backups.end(), [](const BackupEntry& a, const BackupEntry& b) {
    return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
  });
  return backups;
}

}  // namespace velwin::card
