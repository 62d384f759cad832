#pragma once

#include <cstdint>

namespace velwin::xchanger {

// Time as the cart's flash chips see it, in microseconds: a page write or an
// erase is waited for and bounded by this clock. Real ports run on the
// machine's monotonic clock; the simulated X-Changer keeps its own, which
// every port access and every wait advances, so that a card write can be
// timed and its timeouts tested in simulated time.
class ChipClock {
 public:
  virtual ~ChipClock() = default;
  virtual std::uint64_t NowMicroseconds() = 0;
  // Lets at least us microseconds pass.
  virtual void WaitMicroseconds(std::uint64_t us) = 0;
};

// The machine's monotonic clock.
class SteadyChipClock final : public ChipClock {
 public:
  std::uint64_t NowMicroseconds() override;
  void WaitMicroseconds(std::uint64_t us) override;
};

// The one machine clock the real ports share.
ChipClock& MachineChipClock();

}  // namespace velwin::xchanger
