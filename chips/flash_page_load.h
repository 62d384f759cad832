#pragma once

#include <cstdint>
#include <optional>

#include "port/chip_clock.h"
#include "xchanger/cart_access.h"

namespace velwin::xchanger {

// Sends a flash chip's command bytes and the bytes of one page load with
// the least port traffic that the X-Changer's registers allow, and times
// the loaded bytes on the chip clock.
//
// ModeReg governs DataReg cycles only: AddrLowReg and AddrHighReg are the
// X-Changer's own registers, and writing them sends nothing to the cart.
// ModeReg stays at 0x82 across a page's data bytes, and the control
// register at 0x01. Whether the X-Changer advances its address after a data
// cycle under 0x82, as it does under 0x81, is not known: so the address is
// set before every flash write cycle, AddrLowReg always and AddrHighReg
// wherever an advance could have carried into it (after a byte at a low
// address of 0xFF) or the byte needs another. A byte of a page costs
// AddrLowReg and the data cycle: 4 port accesses over EPP, 12 over SPP.
//
// The loader remembers what it wrote itself (mode, address and bank
// registers, control) and sends again only what is sure to differ, so it
// assumes that nothing else drives the link while it is in use: reads go
// through Read.
class FlashPageLoad {
 public:
  FlashPageLoad(CartAccess& cart, ChipClock& clock);

  // Switches the card's ROM bank through the mapper's registers (writes
  // under ModeReg 0x80 at 0x3000 and 0x2000); a register that already holds
  // its part of bank is not written again.
  void SelectBank(std::uint32_t bank);
  // One flash write cycle at a cart address.
  void Write(std::uint16_t cartAddress, std::uint8_t value);
  // One flash write cycle at a linear card address, bank switched first
  // where the address lies outside bank 0.
  void WriteLinear(std::uint32_t linear, std::uint8_t value);
  // Back to single access (ModeReg 0x80), then one cart read at the
  // address latched last.
  std::uint8_t Read();
  // Back to single access, as FlashWriteCycle leaves the link, with the
  // address set again to that of the last flash write cycle: status and
  // array reads follow there, never at an address an advance moved on
  // (past 0x7FFF that would be the cart's RAM).
  void Finish();

  // From the next write on, every gap between two writes counts: that write
  // opens the chip's byte-load window. It is timed from just before its data
  // cycle, so that a pause right after it (a system call that returns late)
  // counts in the gap to the first byte instead of going unseen.
  void StartTimingAtNextWrite();
  // Whether a gap between two timed writes so far reached a byte-load
  // window of windowUs: the chip has closed the load.
  bool Cut(std::uint32_t windowUs) const;
  // Lets at least us microseconds pass since the last write's data cycle,
  // on the chip clock.
  void WaitSinceLastWrite(std::uint64_t us);

 private:
  void Mode(std::uint8_t mode);
  void Register(std::uint8_t reg, std::uint8_t value, std::optional<std::uint8_t>& known);
  void MapperWrite(std::uint8_t addressHigh, std::uint8_t value);

  CartAccess& cart_;
  XChangerLink& link_;
  ChipClock& clock_;
  bool held_ = false;  // ControlPort holds 0x01
  std::optional<std::uint8_t> mode_;
  std::optional<std::uint8_t> low_;
  std::optional<std::uint8_t> high_;
  std::optional<std::uint8_t> bankLow_;
  std::optional<std::uint8_t> bankHigh_;
  std::optional<std::uint16_t> lastAddress_;  // of the last flash write cycle
  bool startAtNext_ = false;
  bool timing_ = false;
  std::uint64_t lastWriteNs_ = 0;
  std::uint64_t longestGapNs_ = 0;
};

}  // namespace velwin::xchanger
