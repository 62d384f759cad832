#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velwin::testing {

// A Game Boy ROM image built in memory: zero bytes to start with, then the
// contents and header fields a test sets. The header fields are written as
// far as the image reaches, so a short image holds a cut-off header; Set and
// Fill name their offsets outright and throw std::out_of_range past the end.
class RomImage {
 public:
  explicit RomImage(std::size_t size) : bytes_(size, 0) {}

  // Bytes that vary from offset to offset and never form a run of one
  // value, like code.
  RomImage& Varied();
  // The logo at 0x104-0x133 that makes the file a cartridge image.
  RomImage& WithLogo();
  // The title field at 0x134-0x143, NUL-padded and cut at 16 bytes.
  RomImage& Title(std::string_view title);
  // 0x148: the ROM size the header declares.
  RomImage& RomSizeCode(std::uint8_t code);
  // 0x14E-0x14F, high byte first.
  RomImage& Checksum(std::uint16_t checksum);

  RomImage& Set(std::size_t offset, std::uint8_t value) { return Fill(offset, offset + 1, value); }
  RomImage& Fill(std::size_t from, std::size_t to, std::uint8_t value);
  RomImage& Resize(std::size_t size);

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  void Put(std::size_t offset, std::uint8_t value);

  std::vector<std::uint8_t> bytes_;
};

}  // namespace velwin::testing
