#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fileio/atomic_file.h"
#include "port/port_backend.h"

namespace velwin::xchanger {

// One port access as the trace keeps it.
struct TracedAccess {
  std::uint64_t us = 0;  // on the backend's clock, when the access was done
  std::uint16_t port = 0;
  bool write = false;
  std::uint8_t value = 0;

  bool operator==(const TracedAccess&) const = default;
};

// Records every port access of the backend it wraps, for a bug report: a
// user whose card misbehaves sends the file. The trace is kept in memory and
// goes to the file only while the chips are waited for (a program or erase
// running, between page loads) and once the backend is flushed, goes idle or
// is closed: never between a job's accesses, so tracing does not change a
// page load's timing. A long job (a card write makes hundreds of millions
// of accesses) is written out in parts at its waits rather than held whole;
// a job without waits (a card read) is written out whenever it holds four
// times keep, which a write's waits never let it reach.
// The file appears by the atomic rule, replaced as a whole at each flush,
// with one line per access: "TIME_US PORT r|w VALUE", port and value in hex,
// the time being when the access was done.
//
// A run of accesses reaches the hardware at once: its accesses get times
// spread evenly over the run, the last at its end.
class TracedPort final : public PortBackend {
 public:
  // keep: the accesses held in memory before a wait writes them out.
  TracedPort(std::unique_ptr<PortBackend> inner, std::string path,
             std::size_t keep = std::size_t{1} << 20);
  // Writes the trace a last time; a failure can only be ignored here.
  ~TracedPort() override;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  void PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) override;
  void PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) override;
  std::uint16_t ReadLptBase(int n) override { return inner_->ReadLptBase(n); }
  // Flushes the port, then writes the trace; false with a message when
  // either fails.
  bool Flush(std::string& error) override;
  void Idle() override;
  bool Reserve(std::string& why) override { return inner_->Reserve(why); }
  ChipClock& Clock() override { return clock_; }
  bool TakesRuns() const override { return inner_->TakesRuns(); }
  bool KeepsOwnTime() const override { return inner_->KeepsOwnTime(); }
  void EndJob() override { inner_->EndJob(); }
  PortPath Path() const override { return inner_->Path(); }

 private:
  // The port's clock; a wait first writes out a full buffer.
  class WaitingClock final : public ChipClock {
   public:
    explicit WaitingClock(TracedPort& owner) : owner_(owner) {}
    std::uint64_t NowMicroseconds() override { return owner_.inner_->Clock().NowMicroseconds(); }
    std::uint64_t NowNanoseconds() override { return owner_.inner_->Clock().NowNanoseconds(); }
    void WaitMicroseconds(std::uint64_t us) override;

   private:
    TracedPort& owner_;
  };

  // How many times keep the trace may hold before it is written out at
  // once, wait or no wait.
  static constexpr std::size_t kHardBoundFactor = 4;
  void Bound();
  // Appends the accesses held to the file being made and lets go of them.
  bool Spill(std::string& error);
  // Spills, then puts the file in place.
  bool Commit(std::string& error);
  void Spread(std::uint64_t start, std::uint16_t port, bool write,
              std::span<const std::uint8_t> values);

  std::unique_ptr<PortBackend> inner_;
  std::string path_;
  std::size_t keep_;
  WaitingClock clock_{*this};
  std::vector<TracedAccess> accesses_;
  std::optional<fileio::AtomicFile> file_;  // the trace being made, until committed
  bool committed_ = false;                  // the file holds the trace's start
  std::string failure_;                     // a write that failed at a wait
};

}  // namespace velwin::xchanger
