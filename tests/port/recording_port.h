#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <vector>

#include "port/port_io.h"

namespace velwin::xchanger::testing {

// One port access as the link made it.
struct PortAccess {
  bool write = false;
  std::uint16_t port = 0;
  std::uint8_t value = 0;  // the byte written, or the byte the read returned

  bool operator==(const PortAccess&) const = default;
};

inline PortAccess W(std::uint16_t port, std::uint8_t value) {
  return {true, port, value};
}
inline PortAccess R(std::uint16_t port, std::uint8_t value) {
  return {false, port, value};
}

inline std::ostream& operator<<(std::ostream& out, const PortAccess& access) {
  return out << (access.write ? "W " : "R ") << std::hex << access.port << "=" << std::hex
             << static_cast<int>(access.value);
}

// Records every access. Alone, reads answer from a per-port queue of
// scripted bytes, then a per-port default, then 0xFF; in front of another
// port (the simulated X-Changer) it passes everything on.
class RecordingPort : public PortIo {
 public:
  RecordingPort() = default;
  explicit RecordingPort(PortIo& inner) : inner_(&inner) {}

  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    trace.push_back(W(port, value));
    if (inner_ != nullptr) {
      inner_->PortWrite(port, value);
    }
  }
  std::uint8_t PortRead(std::uint16_t port) override {
    std::uint8_t value = 0xFF;
    auto& queue = reads[port];
    if (inner_ != nullptr) {
      value = inner_->PortRead(port);
    } else if (!queue.empty()) {
      value = queue.front();
      queue.pop_front();
    } else if (auto found = defaults.find(port); found != defaults.end()) {
      value = found->second;
    }
    trace.push_back(R(port, value));
    return value;
  }
  std::uint16_t ReadLptBase(int n) override {
    ++baseReads;
    if (inner_ != nullptr) {
      return inner_->ReadLptBase(n);
    }
    return n == 1 ? base1 : n == 2 ? base2 : 0;
  }

  std::vector<PortAccess> trace;
  std::map<std::uint16_t, std::deque<std::uint8_t>> reads;
  std::map<std::uint16_t, std::uint8_t> defaults;
  std::uint16_t base1 = 0x378;
  std::uint16_t base2 = 0x278;
  int baseReads = 0;

 private:
  PortIo* inner_ = nullptr;
};

// A millisecond counter that advances by a fixed step on every reading.
class SteppingTicks : public TickCounter {
 public:
  explicit SteppingTicks(std::uint32_t start, std::uint32_t step = 1) : now(start), step_(step) {}
  std::uint32_t GetTickCount() override {
    const std::uint32_t value = now;
    now += step_;
    return value;
  }
  std::uint32_t now;

 private:
  std::uint32_t step_;
};

class CountingPump : public EventPump {
 public:
  void ProcessEvents() override { ++count; }
  int count = 0;
};

}  // namespace velwin::xchanger::testing
