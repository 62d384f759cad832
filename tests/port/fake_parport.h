#pragma once

#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <cstdint>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "port/direct_port_system.h"
#include "port/ppdev_system.h"
#include "sim/simulated_xchanger.h"

namespace velwin::xchanger::testing {

// One parallel port at 0x378 as the hardware holds it, with the simulated
// X-Changer on its cable: what the fake kernel's ppdev calls and the fake
// processor's port instructions both reach. An ECP port's EPP registers
// answer only while its extended control register is in EPP mode, as on
// the real chips; everything done to the port is logged.
class FakeParport {
 public:
  static constexpr std::uint16_t kBase = 0x378;
  static constexpr std::uint16_t kEcr = kBase + 0x402;

  FakeParport(sim::SimulatedXChanger& x, bool ecp) : x_(x), ecp_(ecp) {}

  void Out(std::uint16_t port, std::uint8_t value) {
    ++portIos;
    if (!Ours(port))
      return;
    if (ecp_ && port == kEcr) {
      ecr = static_cast<std::uint8_t>((value & ~0x03u) | 0x01u);  // FIFO empty
      return;
    }
    const unsigned offset = port - kBase;
    if (offset == 2)
      control = value;
    if (offset == 0)
      data = value;
    if (offset >= 3 && !EppAnswers())
      return;
    x_.PortWrite(port, value);
  }
  std::uint8_t In(std::uint16_t port) {
    ++portIos;
    if (!Ours(port))
      return 0xFF;  // nothing there
    if (ecp_ && port == kEcr)
      return ecr;
    const unsigned offset = port - kBase;
    if (offset == 0)
      return data;
    if (offset == 2)
      return static_cast<std::uint8_t>(control | 0xC0);  // the unused bits read 1
    if (offset >= 3 && !EppAnswers())
      return 0xFF;
    return x_.PortRead(port);
  }
  bool Ours(std::uint16_t port) const {
    return (port >= kBase && port <= kBase + 4) || (ecp_ && port == kEcr);
  }
  bool EppAnswers() const { return !ecp_ || (ecr & 0xE0) == 0x80; }
  bool Ecp() const { return ecp_; }

  std::uint8_t ecr = 0x35;      // PS/2 mode, interrupts masked: as the kernel leaves it
  std::uint8_t control = 0x0C;  // INIT high, SELECT IN asserted: the kernel's idle port
  std::uint8_t data = 0;
  std::vector<std::string> log;  // every kernel call and port instruction, in order
  bool logging = true;           // off for long runs that only count
  std::uint64_t kernelCalls = 0;
  std::uint64_t portIos = 0;  // port instructions, the kernel's included

  void Log(const std::string& line) {
    if (logging)
      log.push_back(line);
  }
  void Call(std::string_view line) {
    ++kernelCalls;
    if (logging)
      log.emplace_back(line);
  }

 private:
  sim::SimulatedXChanger& x_;
  bool ecp_;
};

inline std::string HexByte(unsigned value) {
  std::ostringstream out;
  out << std::hex << std::uppercase << value;
  return out.str();
}

// The processor's port instructions on the fake port; an instruction on a
// port not granted is logged as a fault (it would kill the program).
class FakeCpu : public DirectPortSystem {
 public:
  FakeCpu(FakeParport& port, bool rawIo) : port_(port), rawIo_(rawIo) {}
  int Ioperm(std::uint16_t from, unsigned count, bool on) override {
    port_.Log("ioperm " + HexByte(from) + " " + std::to_string(count) + (on ? " on" : " off"));
    for (unsigned i = 0; i < count; ++i) {
      if (on)
        granted_.insert(static_cast<std::uint16_t>(from + i));
      else
        granted_.erase(static_cast<std::uint16_t>(from + i));
    }
    return rawIo_ ? 0 : EPERM;
  }
  void Outb(std::uint16_t port, std::uint8_t value) override {
    if (port_.logging)
      port_.Log((granted_.count(port) ? "out " : "FAULT out ") + HexByte(port) + " " +
                HexByte(value));
    port_.Out(port, value);
  }
  std::uint8_t Inb(std::uint16_t port) override {
    if (port_.logging)
      port_.Log((granted_.count(port) ? "in " : "FAULT in ") + HexByte(port));
    return port_.In(port);
  }
  bool HasRawIo() override { return rawIo_; }
  std::string Lockdown() override { return "[none] integrity confidentiality"; }

 private:
  FakeParport& port_;
  bool rawIo_;
  std::set<std::uint16_t> granted_;
};

// The kernel's ppdev driver on the fake port, /dev/parport0 only, after
// parport_pc: on an ECP port each EPP transfer switches the extended
// control register to EPP mode and back, writing control 0x04 first.
class FakeKernel : public PpdevSystem {
 public:
  explicit FakeKernel(FakeParport& port) : port_(port) {}
  bool Exists(const std::string& path) override { return path == "/dev/parport0"; }
  int Open(const std::string& path) override {
    if (path != "/dev/parport0")
      return -ENOENT;
    port_.Call("open");
    return 3;
  }
  void Close(int) override { port_.Call("close"); }
  int Ioctl(int, unsigned long request) override {
    port_.Call(request == PPCLAIM ? "PPCLAIM" : request == PPRELEASE ? "PPRELEASE" : "PPEXCL");
    return request == PPCLAIM ? -claimError : 0;
  }
  int IoctlSetInt(int, unsigned long request, int value) override {
    if (request == PPSETMODE) {
      port_.Call("PPSETMODE " + std::to_string(value));
      mode_ = value;
    } else {
      port_.Call("PPDATADIR " + std::to_string(value));
      ++port_.portIos;
      port_.control = static_cast<std::uint8_t>((port_.control & ~0x20u) | (value ? 0x20u : 0u));
    }
    return 0;
  }
  int IoctlGetInt(int, unsigned long request, int& value) override {
    if (request != PPGETMODES)
      return -EINVAL;
    port_.Call("PPGETMODES");
    value = PARPORT_MODE_PCSPP | PARPORT_MODE_EPP | (port_.Ecp() ? PARPORT_MODE_ECP : 0);
    return 0;
  }
  int IoctlSetByte(int, unsigned long request, std::uint8_t value) override {
    const bool control = request == PPWCONTROL;
    port_.Call((control ? "PPWCONTROL " : "PPWDATA ") + HexByte(value));
    if (control)
      port_.Out(FakeParport::kBase + 2,
                static_cast<std::uint8_t>((port_.control & 0xF0) | (value & 0x0F)));
    else
      port_.Out(FakeParport::kBase, value);
    return 0;
  }
  int IoctlGetByte(int, unsigned long request, std::uint8_t& value) override {
    const unsigned offset = request == PPRDATA ? 0 : request == PPRSTATUS ? 1 : 2;
    port_.Call(offset == 2 ? "PPRCONTROL" : offset == 1 ? "PPRSTATUS" : "PPRDATA");
    value = port_.In(static_cast<std::uint16_t>(FakeParport::kBase + offset));
    if (offset == 2)
      value &= 0x0F;
    return 0;
  }
  long Read(int, std::span<std::uint8_t> data) override {
    port_.Call("read " + std::to_string(data.size()));
    port_.portIos += data.size();  // the time-out check after each cycle
    Transfer(true, [&] {
      for (std::uint8_t& byte : data)
        byte = port_.In(EppPort());
    });
    return static_cast<long>(data.size());
  }
  long Write(int, std::span<const std::uint8_t> data) override {
    port_.Call("write " + std::to_string(data.size()));
    port_.portIos += data.size();  // the time-out check after each cycle
    Transfer(false, [&] {
      for (const std::uint8_t byte : data)
        port_.Out(EppPort(), byte);
    });
    return static_cast<long>(data.size());
  }

  int claimError = 0;

 private:
  template <typename Cycles>
  void Transfer(bool read, Cycles cycles) {
    if (!port_.Ecp())
      return cycles();
    // The mode switched there and back (a read and a write each) and the
    // data lines turned.
    port_.portIos += 5;
    port_.ecr = static_cast<std::uint8_t>((port_.ecr & 0x1F) | 0x80);
    port_.Out(FakeParport::kBase + 2, static_cast<std::uint8_t>(0x04 | (read ? 0x20 : 0x00)));
    cycles();
    port_.ecr = static_cast<std::uint8_t>((port_.ecr & 0x1F) | 0x20);
  }
  std::uint16_t EppPort() const {
    return (mode_ & IEEE1284_ADDR) != 0 ? FakeParport::kBase + 3 : FakeParport::kBase + 4;
  }

  FakeParport& port_;
  int mode_ = IEEE1284_MODE_COMPAT;
};

}  // namespace velwin::xchanger::testing
