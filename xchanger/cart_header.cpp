#include "xchanger/cart_header.h"

#include <algorithm>

namespace velwin::xchanger {

namespace {

std::string TextAt(std::span<const std::uint8_t, kHeaderBlockSize> bank, std::size_t offset,
                   std::size_t length) {
  std::string text(length, '\0');
  std::transform(bank.begin() + static_cast<std::ptrdiff_t>(offset),
                 bank.begin() + static_cast<std::ptrdiff_t>(offset + length), text.begin(),
                 [](std::uint8_t byte) { return static_cast<char>(byte); });
  return text;
}

}  // namespace

CartHeader BuildCartHeader(std::span<const std::uint8_t, kHeaderBlockSize> bank) {
  CartHeader header;
  // Short titles are padded with NULs on the cart; shown, they are blanks.
  header.Title = TextAt(bank, 0x134, 14);
  std::replace(header.Title.begin(), header.Title.end(), '\0', ' ');
  header.CgbFlag = bank[0x143];
  header.LicenseeCode = TextAt(bank, 0x144, 2);
  header.SgbFlag = bank[0x146];
  std::copy_n(bank.begin() + 0x104, header.Logo.size(), header.Logo.begin());
  header.CartType = bank[0x147];
  header.RomSize = bank[0x148];
  header.RamSize = bank[0x149];
  header.DestinationCode = bank[0x14A];
  header.HeaderChecksum = bank[0x14D];
  // The global checksum is the one big-endian word of the header.
  header.GlobalChecksum = static_cast<std::uint16_t>((bank[0x14E] << 8) | bank[0x14F]);
  // Multi-game cards mark themselves among the restart vectors; the NULs of
  // the mark are part of it.
  header.Signature = TextAt(bank, 0x30, 6);
  return header;
}

}  // namespace velwin::xchanger
