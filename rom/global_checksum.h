#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velwin::rom {

// The header's global checksum at 0x14E-0x14F (high byte first): the 16-bit
// sum of every byte of the ROM except those two. The console never checks
// it, but a dump or a patch that went wrong shows in it. Fed in pieces, so a
// file of any size is checked with one small buffer.
class GlobalChecksum {
 public:
  // The next bytes of the file, in order.
  void Add(std::span<const std::uint8_t> bytes);

  // True when the file so far ends after 0x14F and the stored value equals
  // the sum.
  bool Matches() const;

 private:
  std::uint64_t offset_ = 0;
  std::uint16_t sum_ = 0;
  std::uint16_t stored_ = 0;
};

// Reads the whole file through a bounded buffer and tells whether its
// global checksum matches. Throws fileio::FileError when it cannot be read.
bool GlobalChecksumMatches(const std::string& path);

}  // namespace velwin::rom
