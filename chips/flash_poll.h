#pragma once

#include <cstdint>
#include <optional>

#include "port/chip_clock.h"
#include "xchanger/cart_access.h"

namespace velwin::xchanger {

// Reads the cart byte at the address the last flash write cycle latched
// (the single-access mode it leaves reads there without moving on, and the
// bank registers stay as they are) until ready(previous, byte) holds, and
// returns that byte; nothing when timeoutUs passed on the chip clock first.
// The first call of ready sees the first byte as its own previous one.
template <typename Ready>
std::optional<std::uint8_t> PollCartByte(CartAccess& cart, ChipClock& clock,
                                         std::uint64_t timeoutUs, Ready ready) {
  const std::uint64_t start = clock.NowMicroseconds();
  std::uint8_t previous = cart.ReadCartByte();
  for (;;) {
    // The time is taken before the read: a pause of the process between a
    // busy read and the check would otherwise end the wait without a read
    // after the deadline, though the chip finished meanwhile.
    const bool late = clock.NowMicroseconds() - start > timeoutUs;
    const std::uint8_t byte = cart.ReadCartByte();
    if (ready(previous, byte)) {
      return byte;
    }
    if (late) {
      return std::nullopt;
    }
    previous = byte;
  }
}

}  // namespace velwin::xchanger
