// The ROM file analysis and the stripped size over any file. The input is
// laid out as a file: its head is the data after the first eight bytes,
// padded with a filler byte up to a chosen size, with one byte that may
// break the filler somewhere inside. The stripped size must be what the
// plain forward reading of its definition gives.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "rom/rom_analysis.h"
#include "rom/rom_info_labels.h"
#include "rom/status_line.h"
#include "rom/stripped_size.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

// The smallest multiple P of 32,768, at least 32,768, with every byte from
// P to the end of one value.
std::int64_t ForwardStrippedSize(const std::vector<std::uint8_t>& file) {
  const std::int64_t block = velwin::rom::kStripBlock;
  const auto size = static_cast<std::int64_t>(file.size());
  for (std::int64_t p = block;; p += block) {
    if (p >= size)
      return p;
    const auto from = file.begin() + p;
    if (std::all_of(from, file.end(), [&](std::uint8_t b) { return b == *from; }))
      return p;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8)
    return 0;
  const std::uint8_t filler = data[0];
  const std::size_t padded = (std::size_t{data[1]} << 8 | data[2]) * 16;  // up to 1 MiB
  std::vector<std::uint8_t> file(data + 8, data + size);
  if (file.size() < padded)
    file.resize(padded, filler);
  if ((data[3] & 1) != 0 && !file.empty()) {
    const std::size_t at = (std::size_t{data[4]} << 16 | std::size_t{data[5]} << 8 | data[6]);
    file[at % file.size()] = data[7];
  }
  const std::string path = velwin::fuzz::Scratch().Write("game.gb", file.data(), file.size());

  const std::int64_t expected = ForwardStrippedSize(file);
  if (velwin::rom::StrippedSize(path) != expected)
    std::abort();

  velwin::rom::RomInfoLabels labels;
  velwin::rom::MemoryStatusLine status;
  velwin::rom::RomAnalyser analyser(labels, status);
  const auto analysis = analyser.AnalyseRomFile(path, (data[3] & 2) != 0);
  if (labels.fsize != std::to_string(file.size()))
    std::abort();
  if (analysis.ok != (file.size() >= 336))
    std::abort();
  if (analysis.ok && labels.fssize != std::to_string(expected))
    std::abort();
  if (labels.fileisgbrom != "YES" && labels.fileisgbrom != "NO")
    std::abort();
  return 0;
}
