#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xchanger/port_backend.h"

namespace velwin::xchanger {

// One port access as the trace keeps it.
struct TracedAccess {
  std::uint64_t us = 0;  // on the backend's clock, when the access began
  std::uint16_t port = 0;
  bool write = false;
  std::uint8_t value = 0;

  bool operator==(const TracedAccess&) const = default;
};

// Records every port access of the backend it wraps, for a bug report: a
// user whose card misbehaves sends the file. The trace is kept in memory and
// written only when the backend is flushed, goes idle or is closed, never
// during a job's accesses, so tracing does not change a page load's timing.
// Each write replaces the file as a whole, by the atomic rule, with one
// line per access: "TIME_US PORT r|w VALUE", port and value in hex.
//
// A run of accesses reaches the hardware at once: its accesses get times
// spread evenly from the run's start to its end.
class TracedPort final : public PortBackend {
 public:
  TracedPort(std::unique_ptr<PortBackend> inner, std::string path);
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
  ChipClock& Clock() override { return inner_->Clock(); }
  bool TakesRuns() const override { return inner_->TakesRuns(); }

  const std::vector<TracedAccess>& Accesses() const { return accesses_; }

 private:
  bool WriteTrace(std::string& error);
  void Spread(std::uint64_t start, std::uint16_t port, bool write,
              std::span<const std::uint8_t> values);

  std::unique_ptr<PortBackend> inner_;
  std::string path_;
  std::vector<TracedAccess> accesses_;
  std::size_t written_ = 0;  // accesses in the file already
  bool everWritten_ = false;
};

}  // namespace velwin::xchanger
