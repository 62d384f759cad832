// The database line reader and the lookup over any file. The first input
// byte chooses how much of each line the reader keeps; the rest is the
// database. Each line must report what it keeps consistently with its
// length, and the lines together cannot be longer than the file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fileio/byte_file.h"
#include "mainwindow/rom/database_lines.h"
#include "mainwindow/rom/database_lookup.h"
#include "mainwindow/rom/rom_info_labels.h"
#include "mainwindow/rom/status_line.h"
#include "tests/fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::size_t keepBytes = data[0];
  const auto& scratch = velwin::fuzz::Scratch();
  const std::string path = scratch.Write("user.ini", data + 1, size - 1);

  {
    auto file = velwin::fileio::ByteFile::Open(path, velwin::fileio::ByteFile::Access::kRead);
    velwin::rom::DatabaseLines lines(file, keepBytes);
    std::uint64_t total = 0;
    std::string previous;
    while (lines.Next()) {
      const auto line = lines.Line();
      if (line.size() != std::min<std::uint64_t>(lines.Length(), keepBytes))
        std::abort();
      if (lines.PreviousLine() != previous)
        std::abort();
      previous.assign(line);
      total += lines.Length();
      if (total > size - 1)
        std::abort();
    }
  }

  // The lookup over the same file as "user.ini" (no "veltra.ini"), keyed by
  // a checksum taken from the data so that some inputs hit.
  velwin::rom::RomInfoLabels labels;
  static const char kHex[] = "0123456789ABCDEF";
  labels.ROMCRC = {kHex[data[0] >> 4], kHex[data[0] & 15], kHex[(size >> 4) & 15], kHex[size & 15]};
  velwin::rom::MemoryStatusLine status;
  velwin::rom::LookupDatabase(labels, status, scratch.Path().string());
  if (labels.romdbase != "none" && labels.romdbase != "User.INI")
    std::abort();
  return 0;
}
