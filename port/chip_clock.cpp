#include "port/chip_clock.h"

#include <chrono>
#include <thread>

namespace velwin::xchanger {

std::uint64_t SteadyChipClock::NowMicroseconds() {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(us.count());
}

std::uint64_t SteadyChipClock::NowNanoseconds() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint64_t>(ns.count());
}

void SteadyChipClock::WaitMicroseconds(std::uint64_t us) {
  std::this_thread::sleep_for(std::chrono::microseconds(us));
}

ChipClock& MachineChipClock() {
  static SteadyChipClock clock;
  return clock;
}

}  // namespace velwin::xchanger
