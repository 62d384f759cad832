#pragma once

#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cstdint>
#include <span>
#include <string>

#include "port/ppdev_port.h"
#include "port/ppdev_system.h"
#include "sim/simulated_xchanger.h"
#include "xchanger/link.h"

namespace velwin::xchanger {

// The kernel's side of ppdev with the simulated X-Changer on the port: the
// register ioctls and EPP transfers become the port accesses the kernel
// makes, so whole jobs run through the backend. Counts every system call.
class KernelOverSimulator : public PpdevSystem {
 public:
  explicit KernelOverSimulator(sim::SimulatedXChanger& x) : x_(x) {}
  bool Exists(const std::string& path) override { return path == "/dev/parport0"; }
  int Open(const std::string&) override { return 3; }
  void Close(int) override {}
  int Ioctl(int, unsigned long) override { return Count(); }
  int IoctlSetInt(int, unsigned long request, int value) override {
    if (request == PPSETMODE)
      mode_ = value;
    return Count();
  }
  int IoctlSetByte(int, unsigned long request, std::uint8_t value) override {
    x_.PortWrite(request == PPWDATA ? kPpdevBase1 : kPpdevBase1 + 2, value);
    return Count();
  }
  int IoctlGetByte(int, unsigned long request, std::uint8_t& value) override {
    value = x_.PortRead(request == PPRSTATUS ? kPpdevBase1 + 1 : kPpdevBase1);
    return Count();
  }
  long Read(int, std::span<std::uint8_t> data) override {
    const std::uint8_t high = x_.Registers().addressHigh;
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = x_.PortRead(EppPort());
      if (latchStopsAtBlockEnd && (i + 1) % 256 == 0) {
        // An X-Changer whose latch counts within a block only: AddrHighReg
        // never moves.
        x_.PortWrite(kPpdevBase1 + 3, AddrHighReg);
        x_.PortWrite(kPpdevBase1 + 4, high);
        x_.PortWrite(kPpdevBase1 + 3, DataReg);
      }
    }
    Count();
    return static_cast<long>(data.size());
  }
  long Write(int, std::span<const std::uint8_t> data) override {
    for (const std::uint8_t byte : data)
      x_.PortWrite(EppPort(), byte);
    Count();
    return static_cast<long>(data.size());
  }

  std::uint64_t calls = 0;
  bool latchStopsAtBlockEnd = false;

 private:
  int Count() {
    ++calls;
    return 0;
  }
  std::uint16_t EppPort() const {
    return (mode_ & IEEE1284_ADDR) != 0 ? kPpdevBase1 + 3 : kPpdevBase1 + 4;
  }

  sim::SimulatedXChanger& x_;
  int mode_ = 0;
};

}  // namespace velwin::xchanger
