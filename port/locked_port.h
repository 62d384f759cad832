#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "port/port_backend.h"
#include "port/port_lock.h"

namespace velwin::xchanger {

// A port backend held under the locks of what it drives (PortLockKeys),
// for one velwin process at a time. The keys are asked for afresh each time
// the locks are taken: a simulated cart's file replaced since is known by
// what it is now. The port is opened once the locks are
// taken and kept open while they are held. Idle lets go of both: the port
// is closed (a ppdev claim or its exclusive registration, the simulated
// cart's files written back) and the locks released, and the next job
// takes them again, reading the simulated cart's files afresh.
//
// Accesses while the locks cannot be had go nowhere and read an open bus,
// so the search for the X-Changer finds none; Reserve says why.
class LockedPort final : public PortBackend {
 public:
  using Opener = std::function<std::unique_ptr<PortBackend>(std::string& error)>;
  using Keys = std::function<std::vector<std::string>()>;

  LockedPort(std::string description, Keys keys, std::filesystem::path lockFolder, Opener open);
  ~LockedPort() override;

  bool Reserve(std::string& why) override;
  // Whether the last Reserve failed because another velwin holds a lock.
  bool InUse() const { return inUse_; }

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  void PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) override;
  void PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) override;
  // The start of every search for the X-Changer: a port refused earlier is
  // tried again here.
  std::uint16_t ReadLptBase(int n) override;
  bool Flush(std::string& error) override;
  void Idle() override;
  ChipClock& Clock() override { return clock_; }
  bool TakesRuns() const override { return inner_ && inner_->TakesRuns(); }
  bool KeepsOwnTime() const override { return inner_ && inner_->KeepsOwnTime(); }

 private:
  // The open port's clock, or the machine's while none is open; stays one
  // object for those that keep it across jobs.
  class PortClock final : public ChipClock {
   public:
    explicit PortClock(LockedPort& owner) : owner_(owner) {}
    std::uint64_t NowMicroseconds() override { return Target().NowMicroseconds(); }
    // Passed on as it is: a page load's bytes are timed to the nanosecond.
    std::uint64_t NowNanoseconds() override { return Target().NowNanoseconds(); }
    void WaitMicroseconds(std::uint64_t us) override { Target().WaitMicroseconds(us); }

   private:
    ChipClock& Target() { return owner_.inner_ ? owner_.inner_->Clock() : MachineChipClock(); }
    LockedPort& owner_;
  };

  // The open port, taking the locks first if need be; null when refused.
  PortBackend* Ready();

  std::string description_;
  Keys keys_;
  std::filesystem::path lockFolder_;
  Opener open_;
  std::vector<PortLock> locks_;
  bool held_ = false;     // the locks are ours (some keys may have had no lock file)
  bool refused_ = false;  // accesses wait for the next search or Reserve
  bool inUse_ = false;
  std::string refusal_;
  PortClock clock_{*this};
  std::unique_ptr<PortBackend> inner_;  // last: closed before the locks go
};

}  // namespace velwin::xchanger
