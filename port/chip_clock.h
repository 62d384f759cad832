#pragma once

#include <cstdint>

namespace velwin::xchanger {

// Time as the cart's flash chips see it: a page write or an erase is waited
// for and bounded by this clock, and a page load is timed on it. Real ports
// run on the machine's monotonic clock; the simulated X-Changer keeps its
// own, which every port access and every wait advances, so that a card
// write can be timed and its timeouts tested in simulated time.
class ChipClock {
 public:
  virtual ~ChipClock() = default;
  virtual std::uint64_t NowMicroseconds() = 0;
  // The same time in nanoseconds: a port access takes about a microsecond,
  // and a loaded byte a few, so their timing needs the finer unit. No
  // default from the microseconds: a clock that wraps another would pass on
  // only whole microseconds, and every byte would seem to take 1 or 2 us.
  virtual std::uint64_t NowNanoseconds() = 0;
  // Lets at least us microseconds pass.
  virtual void WaitMicroseconds(std::uint64_t us) = 0;
};

// The machine's monotonic clock.
class SteadyChipClock final : public ChipClock {
 public:
  std::uint64_t NowMicroseconds() override;
  std::uint64_t NowNanoseconds() override;
  void WaitMicroseconds(std::uint64_t us) override;
};

// The one machine clock the real ports share.
ChipClock& MachineChipClock();

}  // namespace velwin::xchanger
