#include "chips/flash_page_load.h"

#include <algorithm>

#include "chips/flash_driver.h"
#include "xchanger/cart_bus.h"

namespace velwin::xchanger {

FlashPageLoad::FlashPageLoad(CartAccess& cart, ChipClock& clock)
    : cart_(cart), link_(cart.Link()), clock_(clock) {}

void FlashPageLoad::Register(std::uint8_t reg, std::uint8_t value,
                             std::optional<std::uint8_t>& known) {
  if (known == value)
    return;
  if (!held_) {
    link_.SetControl(kControlWrite);
    held_ = true;
  }
  link_.WriteRegisterHeld(reg, value);
  known = value;
}

void FlashPageLoad::Mode(std::uint8_t mode) {
  Register(ModeReg, mode, mode_);
}

void FlashPageLoad::MapperWrite(std::uint8_t addressHigh, std::uint8_t value) {
  // The mapper decodes A12-A15 for its bank registers: the low address
  // byte, whatever it holds, does not matter.
  Mode(kModeSingle);
  Register(AddrHighReg, addressHigh, high_);
  link_.WriteRegisterHeld(DataReg, value);
}

void FlashPageLoad::SelectBank(std::uint32_t bank) {
  const auto high = static_cast<std::uint8_t>((bank >> 8) & 0xFFu);
  const auto low = static_cast<std::uint8_t>(bank & 0xFFu);
  if (bankHigh_ != high) {
    MapperWrite(static_cast<std::uint8_t>(kRomBankHighAddress >> 8), high);
    bankHigh_ = high;
  }
  if (bankLow_ != low) {
    MapperWrite(static_cast<std::uint8_t>(kRomBankLowAddress >> 8), low);
    bankLow_ = low;
  }
}

void FlashPageLoad::Write(std::uint16_t cartAddress, std::uint8_t value) {
  Mode(kModeFlashCommand);
  const auto low = static_cast<std::uint8_t>(cartAddress & 0xFFu);
  Register(AddrLowReg, low, low_);
  Register(AddrHighReg, static_cast<std::uint8_t>(cartAddress >> 8), high_);
  const std::uint64_t before = startAtNext_ ? clock_.NowNanoseconds() : 0;
  link_.WriteRegisterHeld(DataReg, value);
  const std::uint64_t now = clock_.NowNanoseconds();
  if (startAtNext_) {
    timing_ = true;
    startAtNext_ = false;
    longestGapNs_ = 0;
    lastWriteNs_ = before;
  } else {
    if (timing_)
      longestGapNs_ = std::max(longestGapNs_, now - lastWriteNs_);
    lastWriteNs_ = now;
  }
  lastAddress_ = cartAddress;
  // The latch now holds this address or the next: AddrLowReg is unknown,
  // and AddrHighReg too where the next would carry into it.
  low_.reset();
  if (low == 0xFFu)
    high_.reset();
}

void FlashPageLoad::WriteLinear(std::uint32_t linear, std::uint8_t value) {
  if (linear >= kBankBytes)
    SelectBank(linear / kBankBytes);
  Write(WindowAddress(linear), value);
}

std::uint8_t FlashPageLoad::Read() {
  Finish();
  held_ = false;  // the read turns the port round
  return cart_.ReadCartByte();
}

void FlashPageLoad::Finish() {
  Mode(kModeSingle);
  if (!lastAddress_)
    return;
  Register(AddrLowReg, static_cast<std::uint8_t>(*lastAddress_ & 0xFFu), low_);
  Register(AddrHighReg, static_cast<std::uint8_t>(*lastAddress_ >> 8), high_);
}

bool FlashPageLoad::Cut(std::uint32_t windowUs) const {
  return LoadCut(longestGapNs_, windowUs);
}

void FlashPageLoad::WaitSinceLastWrite(std::uint64_t us) {
  const std::uint64_t since = (clock_.NowNanoseconds() - lastWriteNs_) / 1000;
  if (since < us)
    clock_.WaitMicroseconds(us - since);
}

void FlashPageLoad::StartTimingAtNextWrite() {
  startAtNext_ = true;
}

}  // namespace velwin::xchanger
