// The database search and the lookup over any file. The first input byte
// chooses how much of a name the search keeps and, with the input's size,
// the checksum looked for; the rest is the database. The search must find
// what splitting the file into lines byte by byte finds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/byte_file.h"
#include "rom/database_lines.h"
#include "rom/database_lookup.h"
#include "rom/rom_info_labels.h"
#include "rom/status_line.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

// The line rules written out the slow way: CR, CR LF and a lone LF end a
// line, 0x1A ends the data.
std::vector<std::string> SplitLines(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < size && data[i] != 0x1A; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < size && data[i + 1] == '\n')
        ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open)
    lines.push_back(line);
  return lines;
}

// The name before the first line that reads key once upper-cased.
std::optional<std::string> ExpectedName(const std::vector<std::string>& lines, std::string_view key,
                                        std::size_t keepBytes) {
  for (std::size_t k = 0; k < lines.size(); ++k) {
    std::string upper = lines[k];
    for (char& c : upper)
      c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (upper == key)
      return k == 0 ? std::string() : lines[k - 1].substr(0, keepBytes);
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::size_t keepBytes = data[0];
  const auto& scratch = velwin::fuzz::Scratch();
  const std::string path = scratch.Write("user.ini", data + 1, size - 1);

  static const char kHex[] = "0123456789ABCDEF";
  const std::string checksum = {kHex[data[0] >> 4], kHex[data[0] & 15], kHex[(size >> 4) & 15],
                                kHex[size & 15]};
  const std::string key = "CRC: 0X" + checksum;
  {
    auto file = velwin::fileio::ByteFile::Open(path, velwin::fileio::ByteFile::Access::kRead);
    velwin::rom::DatabaseLines lines(file, keepBytes);
    std::string name;
    const bool found = lines.FindKeyLine(key, name);
    const auto expected = ExpectedName(SplitLines(data + 1, size - 1), key, keepBytes);
    if (found != expected.has_value() || (found && name != *expected))
      std::abort();
  }

  // The lookup over the same file as "user.ini" (no "veltra.ini"), keyed by
  // a checksum taken from the data so that some inputs hit.
  velwin::rom::RomInfoLabels labels;
  labels.ROMCRC = checksum;
  velwin::rom::MemoryStatusLine status;
  velwin::rom::LookupDatabase(labels, status, scratch.Path().string());
  if (labels.romdbase != "none" && labels.romdbase != "User.INI")
    std::abort();
  return 0;
}
