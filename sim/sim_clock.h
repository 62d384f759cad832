#pragma once

#include <cstdint>
#include <limits>

#include "port/chip_clock.h"

namespace velwin::xchanger::sim {

// The simulated X-Changer's time, kept in nanoseconds. Every port access
// takes accessNs (a microsecond unless told otherwise, about what one takes
// on a real parallel port), and a wait lets the time pass at once: a card
// write that would take minutes on the bench runs in a fraction of a
// second, and its timeouts can be tested.
//
// A real process is also stopped now and then by the scheduler. With a
// jitter set, about every jitterEvery accesses (at points drawn from a
// generator with a fixed seed, so that a run repeats) the time jumps by
// jitterUs before the access: every byte-load window and busy time sees
// the pause as the chip on a real card would.
class SimulatedClock final : public ChipClock {
 public:
  std::uint64_t NowMicroseconds() override { return nowNs_ / 1000; }
  std::uint64_t NowNanoseconds() override { return nowNs_; }
  void WaitMicroseconds(std::uint64_t us) override { Advance(us > kEndUs ? kEndNs : us * 1000); }

  // The time in microseconds, as the chip models count it.
  std::uint64_t Now() const { return nowNs_ / 1000; }

  void SetAccessTime(std::uint64_t ns) { accessNs_ = ns; }
  void SetJitter(std::uint64_t every, std::uint64_t pauseUs, std::uint64_t seed) {
    jitterEvery_ = every;
    jitterNs_ = pauseUs * 1000;
    jitterState_ = seed;
  }

  // One port access: on the path of every access, so kept short. An access
  // takes at most a millisecond, so the end of time is beyond the reach of
  // any run's accesses: only waits need the stop.
  void Tick() {
    if (jitterEvery_ != 0) [[unlikely]]
      MaybePause();
    nowNs_ += accessNs_;
  }

 private:
  // Stops at half the range instead of wrapping, so that time never runs
  // backwards: the port accesses that could follow would take longer than
  // the age of the universe to reach the other half.
  static constexpr std::uint64_t kEndNs = std::numeric_limits<std::uint64_t>::max() / 2;
  static constexpr std::uint64_t kEndUs = kEndNs / 1000;
  void Advance(std::uint64_t ns) { nowNs_ = ns > kEndNs - nowNs_ ? kEndNs : nowNs_ + ns; }
  void MaybePause() {
    // splitmix64: cheap, and every seed gives a full-period sequence.
    std::uint64_t z = (jitterState_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    z ^= z >> 31;
    if (z % jitterEvery_ == 0)
      Advance(jitterNs_);
  }

  std::uint64_t nowNs_ = 0;
  std::uint64_t accessNs_ = 1000;
  std::uint64_t jitterEvery_ = 0;
  std::uint64_t jitterNs_ = 0;
  std::uint64_t jitterState_ = 0;
};

}  // namespace velwin::xchanger::sim
