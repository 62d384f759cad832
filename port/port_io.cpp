#include "port/port_io.h"

#include <chrono>

namespace velwin::xchanger {

void PortIo::PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) {
  for (std::uint8_t& byte : data)
    byte = PortRead(port);
}

void PortIo::PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) {
  for (const std::uint8_t byte : data)
    PortWrite(port, byte);
}

std::uint32_t SteadyTickCounter::GetTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  // The counter wraps like the system's 32-bit millisecond counter.
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms.count()));
}

bool UsablePortBase(std::uint16_t base) {
  // Ports 0-4 belong to the DMA controller, and a base this close to the top
  // of the I/O space would wrap base + 4 round onto them.
  constexpr std::uint16_t kHighestRegisterOffset = 4;
  return base > kHighestRegisterOffset && base <= 0xFFFF - kHighestRegisterOffset;
}

}  // namespace velwin::xchanger
