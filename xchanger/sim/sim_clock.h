#pragma once

#include <cstdint>
#include <limits>

#include "xchanger/chip_clock.h"

namespace velwin::xchanger::sim {

// The simulated X-Changer's time. Every port access takes a microsecond,
// about what one takes on a real parallel port, and a wait lets the time
// pass at once: a card write that would take minutes on the bench runs in
// a fraction of a second, and its timeouts can be tested.
class SimulatedClock final : public ChipClock {
 public:
  std::uint64_t NowMicroseconds() override { return now_; }
  void WaitMicroseconds(std::uint64_t us) override {
    // Stops at half the range instead of wrapping, so that time never runs
    // backwards: the port accesses that could follow would take longer
    // than the age of the universe to reach the other half.
    now_ = us > kEnd - now_ ? kEnd : now_ + us;
  }

  std::uint64_t Now() const { return now_; }
  // One port access: on the path of every access, so a bare increment.
  void Tick() { ++now_; }

 private:
  static constexpr std::uint64_t kEnd = std::numeric_limits<std::uint64_t>::max() / 2;
  std::uint64_t now_ = 0;
};

}  // namespace velwin::xchanger::sim
