#include "xchanger/port_io.h"

#include <chrono>

namespace velwin::xchanger {

std::uint32_t SteadyTickCounter::GetTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  // The counter wraps like the system's 32-bit millisecond counter.
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms.count()));
}

}  // namespace velwin::xchanger
