#include "tests/support/rom_image.h"

#include "gbheader/header_logo.h"

namespace velwin::testing {

RomImage& RomImage::Varied() {
  for (std::size_t i = 0; i < bytes_.size(); ++i)
    bytes_[i] = static_cast<std::uint8_t>((i * 7 + i / 251) % 253);
  return *this;
}

RomImage& RomImage::WithLogo() {
  for (std::size_t i = 0; i < gbheader::HeaderLogo.size(); ++i)
    Put(gbheader::kLogoOffset + i, gbheader::HeaderLogo[i]);
  return *this;
}

RomImage& RomImage::Title(std::string_view title) {
  for (std::size_t i = 0; i < 16; ++i)
    Put(0x134 + i, i < title.size() ? static_cast<std::uint8_t>(title[i]) : 0);
  return *this;
}

RomImage& RomImage::RomSizeCode(std::uint8_t code) {
  Put(0x148, code);
  return *this;
}

RomImage& RomImage::Checksum(std::uint16_t checksum) {
  Put(0x14E, static_cast<std::uint8_t>(checksum >> 8));
  Put(0x14F, static_cast<std::uint8_t>(checksum & 0xFF));
  return *this;
}

RomImage& RomImage::Fill(std::size_t from, std::size_t to, std::uint8_t value) {
  for (std::size_t i = from; i < to; ++i)
    bytes_.at(i) = value;
  return *this;
}

RomImage& RomImage::Resize(std::size_t size) {
  bytes_.resize(size, 0);
  return *this;
}

void RomImage::Put(std::size_t offset, std::uint8_t value) {
  if (offset < bytes_.size())
    bytes_[offset] = value;
}

}  // namespace velwin::testing
