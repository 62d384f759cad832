#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "recording_port.h"

namespace velwin::xchanger::testing {

// One access the X-Changer made on the cart bus.
struct BusEvent {
  enum Kind { kWrite, kFlashCommand, kRead };
  Kind kind = kWrite;
  std::uint16_t address = 0;
  std::uint8_t value = 0;

  bool operator==(const BusEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const BusEvent& event) {
  const char* kinds[] = {"write", "flash", "read"};
  return out << kinds[event.kind] << " " << std::hex << event.address << "="
             << static_cast<int>(event.value);
}

// The X-Changer's register file as the port sees it, decoded from the same
// strobes in EPP and SPP mode, in front of a cart given as two callbacks. It
// also records every port access, so tests can check what reached which
// address. Status reads in SPP mode carry noise on bits 0-2 and 7.
class FakeXChanger : public RecordingPort {
 public:
  explicit FakeXChanger(std::uint16_t base) : base_(base) {}

  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    RecordingPort::PortWrite(port, value);
    if (port == base_) {
      dataLatch_ = value;
    } else if (port == base_ + 2 && sppWorks) {
      ControlChanged(value);
    } else if (port == base_ + 3 && eppWorks) {
      selected_ = value & 3u;
    } else if (port == base_ + 4 && eppWorks) {
      DataCycleWrite(value);
    }
  }

  std::uint8_t PortRead(std::uint16_t port) override {
    std::uint8_t value = 0xFF;
    if (port == base_ + 1 && sppWorks) {
      const unsigned nibble = control_ == 0x06 ? readLatch_ >> 4 : readLatch_ & 0x0Fu;
      value = static_cast<std::uint8_t>((nibble << 3) | 0x87u);
    } else if (port == base_ + 4 && eppWorks) {
      value = DataCycleRead();
    } else {
      return RecordingPort::PortRead(port);  // somebody else's port
    }
    trace.push_back(R(port, value));
    return value;
  }

  std::uint16_t Address() const { return static_cast<std::uint16_t>(regs[0] | (regs[1] << 8)); }

  bool eppWorks = true;
  bool sppWorks = true;
  std::array<std::uint8_t, 4> regs{};
  std::vector<BusEvent> bus;
  std::function<std::uint8_t(std::uint16_t)> cartRead = [](std::uint16_t) { return 0xFF; };
  std::function<void(const BusEvent&)> cartWrite = [](const BusEvent&) {};

 private:
  void ControlChanged(std::uint8_t value) {
    control_ = value;
    if (value == 0x09) {
      selected_ = dataLatch_ & 3u;
    } else if (value == 0x03) {
      DataCycleWrite(dataLatch_);
    } else if (value == 0x02) {
      readLatch_ = DataCycleRead();
    }
  }

  void DataCycleWrite(std::uint8_t value) {
    if (selected_ != 3) {
      regs[selected_] = value;
      return;
    }
    const BusEvent event{regs[2] == 0x82 ? BusEvent::kFlashCommand : BusEvent::kWrite, Address(),
                         value};
    bus.push_back(event);
    cartWrite(event);
    Advance();
  }

  std::uint8_t DataCycleRead() {
    if (selected_ != 3) {
      return regs[selected_];
    }
    const std::uint8_t value = cartRead(Address());
    bus.push_back({BusEvent::kRead, Address(), value});
    Advance();
    return value;
  }

  void Advance() {
    if (regs[2] == 0x81) {
      const auto next = static_cast<std::uint16_t>(Address() + 1);
      regs[0] = static_cast<std::uint8_t>(next & 0xFF);
      regs[1] = static_cast<std::uint8_t>(next >> 8);
    }
  }

  std::uint16_t base_;
  std::uint8_t dataLatch_ = 0;
  std::uint8_t control_ = 0;
  std::uint8_t readLatch_ = 0;
  unsigned selected_ = 0;
};

}  // namespace velwin::xchanger::testing
