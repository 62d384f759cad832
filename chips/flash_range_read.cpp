#include <algorithm>

#include "chips/flash_driver.h"
#include "xchanger/cart_bus.h"

namespace velwin::xchanger {

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
        std::min<std::size_t>(bytes.size() - done, kBlockSize - address % kBlockSize);
    link.WriteRegister(AddrHighReg, static_cast<std::uint8_t>(cartAddress >> 8));
    link.WriteRegister(AddrLowReg, static_cast<std::uint8_t>(cartAddress & 0xFFu));
    link.WriteRegister(ModeReg, kModeBlock);
    link.SelectRegister(DataReg);
    link.SetControl(kControlRead);
    link.ReadDataRun(bytes.subspan(done, inBlock));
    done += inBlock;
  }
  // Status and toggle reads that follow read one address again and again.
  link.WriteRegister(ModeReg, kModeSingle);
}

}  // namespace velwin::xchanger
