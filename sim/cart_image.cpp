#include "sim/cart_image.h"

#include <algorithm>
#include <stdexcept>

#include "gbheader/header_checksum.h"
#include "gbheader/header_logo.h"

namespace velwin::xchanger::sim {
namespace {

constexpr std::size_t kBankSize = 0x4000;
constexpr std::size_t kTitle = 0x134;
constexpr std::size_t kHeaderChecksum = 0x14D;
constexpr std::size_t kGlobalChecksum = 0x14E;
constexpr std::size_t kSignature = 0x30;

void Grow(std::vector<std::uint8_t>& rom, std::size_t size) {
  if (rom.size() < size)
    rom.resize(size, 0xFF);
}

void PutText(std::uint8_t* out, const std::string& text, std::size_t width) {
  std::fill_n(out, width, 0x00);
  std::copy(text.begin(), text.end(), out);
}

}  // namespace

std::uint32_t RomBanksOfSizeCode(std::uint8_t code) {
  return code <= 8 ? 2u << code : 0u;
}

std::uint8_t HeaderChecksum(std::span<const std::uint8_t> bank) {
  return gbheader::HeaderChecksumOf(bank);
}

std::uint16_t GlobalChecksum(std::span<const std::uint8_t> game) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < game.size(); ++i) {
    if (i != kGlobalChecksum && i != kGlobalChecksum + 1) {
      sum = static_cast<std::uint16_t>(sum + game[i]);
    }
  }
  return sum;
}

void WriteCartHeader(std::vector<std::uint8_t>& rom, std::uint16_t bank,
                     const CartHeaderFields& fields) {
  if (fields.title.size() > 16)
    throw std::invalid_argument("title longer than 16 bytes");
  if (fields.signature.size() > 6)
    throw std::invalid_argument("signature longer than 6 bytes");
  const std::size_t start = std::size_t{bank} * kBankSize;
  const std::size_t banks = std::max<std::size_t>(1, RomBanksOfSizeCode(fields.romSizeCode));
  Grow(rom, start + banks * kBankSize);
  std::uint8_t* header = rom.data() + start;

  PutText(header + kSignature, fields.signature, 6);
  // nop; jp 0x0150: the usual entry point.
  const std::uint8_t entry[] = {0x00, 0xC3, 0x50, 0x01};
  std::copy(std::begin(entry), std::end(entry), header + 0x100);
  std::copy(gbheader::HeaderLogo.begin(), gbheader::HeaderLogo.end(),
            header + gbheader::kLogoOffset);
  PutText(header + kTitle, fields.title, 16);
  header[0x144] = '0';
  header[0x145] = '0';
  header[0x146] = 0x00;  // no Super Game Boy functions
  header[0x147] = fields.cartType;
  header[0x148] = fields.romSizeCode;
  header[0x149] = fields.ramSizeCode;
  header[0x14A] = 0x01;  // sold outside Japan
  header[0x14B] = 0x33;  // licensee in 0x144-0x145
  header[0x14C] = 0x00;
  header[kHeaderChecksum] = HeaderChecksum({header, kBankSize});

  const std::size_t end = std::min(rom.size(), start + banks * kBankSize);
  const std::uint16_t global = GlobalChecksum({header, end - start});
  header[kGlobalChecksum] = static_cast<std::uint8_t>(global >> 8);
  header[kGlobalChecksum + 1] = static_cast<std::uint8_t>(global & 0xFF);
}

void WriteMenuDirectory(std::vector<std::uint8_t>& rom, std::span<const MenuEntry> entries) {
  if (entries.size() > 255)
    throw std::invalid_argument("more than 255 directory entries");
  for (const MenuEntry& entry : entries) {
    if (entry.name.size() > 18)
      throw std::invalid_argument("game name longer than 18 bytes");
  }
  Grow(rom, 2 * kBankSize);
  std::uint8_t* directory = rom.data() + kBankSize;
  std::fill_n(directory, 1 + entries.size() * kMenuEntrySize, 0x00);
  directory[0] = static_cast<std::uint8_t>(entries.size());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const MenuEntry& entry = entries[k];
    std::uint8_t* out = directory + 1 + k * kMenuEntrySize;
    PutText(out, entry.name, 18);
    out[19] = entry.usesSram ? 0x80 : 0x00;
    out[21] = entry.sramByte;
  }
}

}  // namespace velwin::xchanger::sim
