#include <algorithm>

#include "xchanger/flash_driver.h"

namespace velwin::xchanger {

namespace {

constexpr std::uint8_t kModeSingle = 0x80;
constexpr std::uint8_t kModeBlock = 0x81;  // the X-Changer advances the address itself
constexpr std::uint8_t kControlRead = 0x00;
constexpr std::uint16_t kRomBankLowAddress = 0x2000;
constexpr std::uint16_t kRomBankHighAddress = 0x3000;
constexpr std::uint32_t kBankBytes = 0x4000;
// The X-Changer advances the address within a 256-byte block; every block
// gets its address set, as the ROM block read does.
constexpr std::uint32_t kBlockBytes = 256;

}  // namespace

std::uint16_t WindowAddress(std::uint32_t linear) {
  const auto offset = static_cast<std::uint16_t>(linear % kBankBytes);
  return linear < kBankBytes ? offset : static_cast<std::uint16_t>(0x4000u | offset);
}

void ReadFlashRange(CartAccess& cart, std::uint32_t linear, std::span<std::uint8_t> bytes) {
  XChangerLink& link = cart.Link();
  const std::uint32_t bank = linear / kBankBytes;
  cart.CartWrite(kRomBankLowAddress, static_cast<std::uint8_t>(bank & 0xFFu));
  cart.CartWrite(kRomBankHighAddress, static_cast<std::uint8_t>(bank >> 8));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::uint32_t address = linear + static_cast<std::uint32_t>(done);
    const std::uint16_t cartAddress = WindowAddress(address);
    const std::size_t inBlock =
        std::min<std::size_t>(bytes.size() - done, kBlockBytes - address % kBlockBytes);
    link.WriteRegister(AddrHighReg, static_cast<std::uint8_t>(cartAddress >> 8));
    link.WriteRegister(AddrLowReg, static_cast<std::uint8_t>(cartAddress & 0xFFu));
    link.WriteRegister(ModeReg, kModeBlock);
    link.SelectRegister(DataReg);
    link.SetControl(kControlRead);
    for (std::size_t i = 0; i < inBlock; ++i) {
      bytes[done + i] = link.ReadData();
    }
    done += inBlock;
  }
  // Status and toggle reads that follow read one address again and again.
  link.WriteRegister(ModeReg, kModeSingle);
}

}  // namespace velwin::xchanger
