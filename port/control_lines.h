#pragma once

#include <cstdint>

namespace velwin::xchanger {

// The control register as every job leaves it: the port at rest in
// compatibility mode, as the kernel's printer driver and a printer expect
// it. Bits 0, 1 and 3 drive STROBE, AUTOFEED and SELECT IN through
// inverters, so 0 releases each; bit 2 sets the INIT pin as it stands, so 1
// keeps INIT high and a printer on the port out of reset; bit 4 (the
// port's interrupt) stays off, and bit 5 at 0 drives the data lines
// forward. SELECT IN stays released although a printer's driver asserts
// it: over EPP it is the address strobe, and the X-Changer would take it
// for the start of an address cycle.
inline constexpr std::uint8_t kControlAtRest = 0x04;

// The four control lines, bits 0 to 3 of the control register.
inline constexpr std::uint8_t kControlLines = 0x0F;

// Writes the control register from `from` to `to` one line at a time: first
// the lines that go to their inactive level (a strobe released, INIT
// raised), then those that become active, so the X-Changer never sees two
// lines move together (a strobe asserted in the same instant as the line
// that tells its direction). Bits 4 to 7 take their new value with the
// first write. Returns the number of writes made, 0 when nothing changes.
template <typename Write>
int StepControl(std::uint8_t from, std::uint8_t to, Write write) {
  // Bit 2 (INIT) is active low on the pin, the others active high here.
  constexpr std::uint8_t kActiveHigh = 0x0B;
  const auto active = [](std::uint8_t value, std::uint8_t bit) {
    return ((value ^ ~kActiveHigh) & bit) != 0;
  };
  std::uint8_t now = static_cast<std::uint8_t>((from & kControlLines) | (to & ~kControlLines));
  int writes = 0;
  if (now != from) {
    write(now);
    ++writes;
  }
  for (const bool toActive : {false, true}) {
    for (std::uint8_t bit = 1; bit <= 8; bit = static_cast<std::uint8_t>(bit << 1)) {
      if (((now ^ to) & bit) != 0 && active(to, bit) == toActive) {
        now = static_cast<std::uint8_t>(now ^ bit);
        write(now);
        ++writes;
      }
    }
  }
  return writes;
}

}  // namespace velwin::xchanger
