#include "rom/global_checksum.h"

#include <cstring>
#include <vector>

#include "fileio/byte_file.h"
#include "rom/header_info.h"

namespace velwin::rom {
namespace {

// The sum of the bytes, eight at a time: each 64-bit word adds its even and
// its odd bytes into four 16-bit lanes. A lane gains at most 510 a word, so
// 128 words fit before the lanes are folded; only the low 16 bits matter in
// the end, and unsigned sums wrap.
std::uint32_t SumOfBytes(std::span<const std::uint8_t> bytes) {
  constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFu;
  constexpr std::size_t kWordsPerFold = 128;
  std::uint32_t total = 0;
  std::size_t i = 0;
  while (bytes.size() - i >= 8) {
    std::uint64_t lanes = 0;
    for (std::size_t words = 0; words < kWordsPerFold && bytes.size() - i >= 8; ++words, i += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes.data() + i, sizeof word);
      lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
    }
    total += static_cast<std::uint32_t>((lanes & 0xFFFF) + (lanes >> 16 & 0xFFFF) +
                                        (lanes >> 32 & 0xFFFF) + (lanes >> 48));
  }
  for (; i < bytes.size(); ++i)
    total += bytes[i];
  return total;
}

}  // namespace

void GlobalChecksum::Add(std::span<const std::uint8_t> bytes) {
  std::uint32_t total = SumOfBytes(bytes);
  // The two stored bytes are taken back out where this piece holds them.
  for (std::uint64_t at = kChecksumOffset; at <= kChecksumOffset + 1; ++at) {
    if (at < offset_ || at - offset_ >= bytes.size())
      continue;
    const std::uint8_t stored = bytes[static_cast<std::size_t>(at - offset_)];
    total -= stored;
    stored_ = static_cast<std::uint16_t>(stored_ | (at == kChecksumOffset ? stored << 8 : stored));
  }
  sum_ = static_cast<std::uint16_t>(sum_ + total);
  offset_ += bytes.size();
}

bool GlobalChecksum::Matches() const {
  return offset_ > kChecksumOffset + 1 && sum_ == stored_;
}

bool GlobalChecksumMatches(const std::string& path) {
  auto file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
  std::vector<std::uint8_t> block(65536);
  GlobalChecksum checksum;
  for (;;) {
    const std::size_t got = file.Read(block);
    checksum.Add(std::span(block).first(got));
    if (got < block.size())
      break;
  }
  file.Close();
  return checksum.Matches();
}

}  // namespace velwin::rom
