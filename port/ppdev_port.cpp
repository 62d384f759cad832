#include "port/ppdev_port.h"

#include <algorithm>

#include "port/control_lines.h"

#ifdef __linux__
#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>
#endif

namespace velwin::xchanger {

#ifdef __linux__

namespace {

constexpr unsigned kData = 0, kStatus = 1, kControl = 2, kEppAddress = 3, kEppData = 4;
constexpr int kEppDataMode = IEEE1284_MODE_EPP;
constexpr int kEppAddressMode = IEEE1284_MODE_EPP | IEEE1284_ADDR;

// The kernel hands at most this many bytes to the port per read() or
// write() of a descriptor that does not block.
constexpr std::size_t kKernelRun = 1024;

}  // namespace

PpdevPortBackend::PpdevPortBackend(std::unique_ptr<PpdevSystem> system, std::vector<Device> devices,
                                   std::unique_ptr<DirectPortBackend> direct, PortPath path)
    : system_(std::move(system)),
      devices_(std::move(devices)),
      direct_(std::move(direct)),
      path_(std::move(path)) {
  if (path_.kind == PortPath::Kind::kOther)
    path_.kind = direct_ ? PortPath::Kind::kDirectUnderPpdev : PortPath::Kind::kPpdev;
}

PpdevPortBackend::~PpdevPortBackend() {
  for (Device& device : devices_) {
    Release(device);
    system_->Close(device.fd);
  }
  // The port instructions' grant goes last, after the claims.
  direct_.reset();
}

void PpdevPortBackend::Settle(Device& device) {
  if (!device.claimed)
    return;
  if (direct_) {
    direct_->EndJob();
    // The kernel keeps its own copy of the control register and writes it
    // back at the next claim: tell it what the lines now are.
    system_->IoctlSetByte(device.fd, PPWCONTROL, kControlAtRest);
    device.control = kControlAtRest;
    device.reversed = true;  // the kernel's copy of the direction may be stale too
  } else {
    device.heldControl = -1;
    if (device.control < 0) {
      if (system_->IoctlSetByte(device.fd, PPWCONTROL, kControlAtRest) == 0)
        device.control = kControlAtRest;
    } else {
      device.freshClaim = true;  // to rest one line at a time as well
      WriteControl(device, kControlAtRest);
    }
  }
  Forward(device);
  // Released in EPP mode, the port would have the kernel move INIT and
  // SELECT IN on its own to negotiate its way back.
  if (device.mode != IEEE1284_MODE_COMPAT &&
      system_->IoctlSetInt(device.fd, PPSETMODE, IEEE1284_MODE_COMPAT) == 0) {
    device.mode = IEEE1284_MODE_COMPAT;
  }
}

void PpdevPortBackend::Release(Device& device) {
  if (!device.claimed)
    return;
  Settle(device);
  system_->Ioctl(device.fd, PPRELEASE);
  device.claimed = false;
}

void PpdevPortBackend::EndJob() {
  for (Device& device : devices_)
    Settle(device);
}

void PpdevPortBackend::Idle() {
  for (Device& device : devices_) {
    device.claimRefused = false;
    Release(device);
  }
}

PpdevPortBackend::Device* PpdevPortBackend::Find(std::uint16_t port, unsigned& offset) {
  for (Device& device : devices_) {
    if (port >= device.base && static_cast<unsigned>(port - device.base) <= kEppData) {
      if (!device.claimed) {
        // Each claim may wait two seconds for another program: a search
        // of a few hundred accesses would hold the window for minutes.
        if (device.claimRefused)
          return nullptr;
        if (system_->Ioctl(device.fd, PPCLAIM) < 0) {
          device.claimRefused = true;
          return nullptr;
        }
        // Whoever had the port meanwhile may have turned the data lines
        // round; the claim gives back our own transfer mode, and the
        // control register as the kernel kept it.
        device.claimed = true;
        device.reversed = true;
        device.freshClaim = true;
        device.heldControl = -1;
        std::uint8_t control = 0;
        device.control = system_->IoctlGetByte(device.fd, PPRCONTROL, control) == 0
                             ? control & kControlLines
                             : -1;
      }
      offset = static_cast<unsigned>(port - device.base);
      return &device;
    }
  }
  return nullptr;
}

void PpdevPortBackend::WriteControl(Device& device, std::uint8_t value) {
  if (device.control == value)
    return;
  if (device.freshClaim && device.control >= 0) {
    // The first write after the claim moves the lines from where the
    // kernel left them one at a time.
    int now = device.control;
    StepControl(static_cast<std::uint8_t>(device.control), value, [&](std::uint8_t step) {
      if (now >= 0 && system_->IoctlSetByte(device.fd, PPWCONTROL, step) == 0)
        now = step;
      else
        now = -1;
    });
    device.control = now;
  } else if (system_->IoctlSetByte(device.fd, PPWCONTROL, value) == 0) {
    device.control = value;
  } else {
    device.control = -1;
  }
  device.freshClaim = false;
}

void PpdevPortBackend::SendHeldControl(Device& device) {
  if (device.heldControl >= 0) {
    const auto value = static_cast<std::uint8_t>(device.heldControl);
    device.heldControl = -1;
    WriteControl(device, value);
  }
}

void PpdevPortBackend::BeforeEpp(Device& device, int mode) {
  // On an ECP port the kernel writes the control register itself before
  // the transfer: a write of ours just before it would only make the lines
  // flicker, so it is dropped.
  if (device.eppControl == EppControl::kRewritten)
    device.heldControl = -1;
  if (device.mode != mode && system_->IoctlSetInt(device.fd, PPSETMODE, mode) == 0)
    device.mode = mode;
}

void PpdevPortBackend::AfterEpp(Device& device, bool read) {
  switch (device.eppControl) {
    case EppControl::kKept:
      break;
    case EppControl::kRewritten:
      device.control = kControlAtRest;
      device.freshClaim = false;
      break;
    case EppControl::kUnknown:
      // The kernel made the cycle on the control lines: they may hold
      // anything now, so the next control write goes out whatever it is.
      device.control = -1;
      break;
  }
  device.reversed = read;
}

void PpdevPortBackend::SetMode(Device& device, int mode) {
  BeforeEpp(device, mode);
}

void PpdevPortBackend::Forward(Device& device) {
  // An EPP read turns the data lines round; SPP writes need them driven.
  if (device.reversed && system_->IoctlSetInt(device.fd, PPDATADIR, 0) == 0) {
    device.reversed = false;
  }
}

void PpdevPortBackend::PortWrite(std::uint16_t port, std::uint8_t value) {
  unsigned offset = 0;
  Device* device = Find(port, offset);
  if (device == nullptr) {
    return;
  }
  if (direct_) {
    direct_->PortWrite(static_cast<std::uint16_t>(device->ioBase + offset), value);
    return;
  }
  const std::uint8_t byte[1] = {value};
  switch (offset) {
    case kData:
      SendHeldControl(*device);
      Forward(*device);
      system_->IoctlSetByte(device->fd, PPWDATA, value);
      break;
    case kStatus:
      // The status register is read-only to ppdev; the kernel clears the
      // EPP time-out flag itself around every EPP transfer.
      break;
    case kControl:
      if (device->eppControl == EppControl::kRewritten) {
        // Held until the next access that is not an EPP cycle. A held
        // value that this one replaces goes out first, as its lines moved.
        if (device->heldControl != value)
          SendHeldControl(*device);
        if (device->control != value)
          device->heldControl = value;
      } else {
        WriteControl(*device, value);
      }
      break;
    case kEppAddress:
    case kEppData: {
      SetMode(*device, offset == kEppAddress ? kEppAddressMode : kEppDataMode);
      const bool done = system_->Write(device->fd, byte) == 1;
      AfterEpp(*device, false);
      if (!done)
        device->reversed = true;
      break;
    }
    default:
      break;
  }
}

std::uint8_t PpdevPortBackend::PortRead(std::uint16_t port) {
  unsigned offset = 0;
  Device* device = Find(port, offset);
  std::uint8_t value = 0xFF;  // what an open bus reads
  if (device == nullptr) {
    return value;
  }
  if (direct_)
    return direct_->PortRead(static_cast<std::uint16_t>(device->ioBase + offset));
  switch (offset) {
    case kData:
    case kStatus:
    case kControl: {
      SendHeldControl(*device);
      const unsigned long requests[] = {PPRDATA, PPRSTATUS, PPRCONTROL};
      std::uint8_t read = 0;
      if (system_->IoctlGetByte(device->fd, requests[offset], read) == 0) {
        value = read;
      }
      break;
    }
    default: {
      SetMode(*device, offset == kEppAddress ? kEppAddressMode : kEppDataMode);
      std::uint8_t byte[1] = {0xFF};
      if (system_->Read(device->fd, byte) == 1) {
        value = byte[0];
      }
      AfterEpp(*device, true);
      break;
    }
  }
  return value;
}

PpdevPortBackend::Device* PpdevPortBackend::EppRun(std::uint16_t port) {
  if (direct_)
    return nullptr;
  unsigned offset = 0;
  Device* device = Find(port, offset);
  if (device == nullptr || (offset != kEppAddress && offset != kEppData))
    return nullptr;
  SetMode(*device, offset == kEppAddress ? kEppAddressMode : kEppDataMode);
  return device;
}

// A transfer that stops short stopped at a cycle the port could not
// complete (an EPP time-out). That byte is lost as it would be alone, and
// the run goes on from the next, so every byte gets its own cycle as it
// would byte by byte.
void PpdevPortBackend::PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) {
  Device* device = EppRun(port);
  if (device == nullptr)
    return PortBackend::PortReadRun(port, data);
  while (!data.empty()) {
    const std::size_t chunk = std::min(data.size(), kKernelRun);
    const long got = system_->Read(device->fd, data.first(chunk));
    const std::size_t done = got > 0 ? std::min(static_cast<std::size_t>(got), chunk) : 0;
    if (done < chunk)
      data[done] = 0xFF;  // what an open bus reads
    data = data.subspan(done < chunk ? done + 1 : done);
  }
  AfterEpp(*device, true);
}

void PpdevPortBackend::PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) {
  Device* device = EppRun(port);
  if (device == nullptr)
    return PortBackend::PortWriteRun(port, data);
  bool any = false;
  while (!data.empty()) {
    const std::size_t chunk = std::min(data.size(), kKernelRun);
    const long put = system_->Write(device->fd, data.first(chunk));
    const std::size_t done = put > 0 ? std::min(static_cast<std::size_t>(put), chunk) : 0;
    any = any || done > 0;
    data = data.subspan(done < chunk ? done + 1 : done);
  }
  AfterEpp(*device, !any);
}

std::uint16_t PpdevPortBackend::ReadLptBase(int n) {
  if (n < 1 || static_cast<std::size_t>(n) > devices_.size()) {
    return 0;
  }
  return devices_[static_cast<std::size_t>(n - 1)].base;
}

#else

PpdevPortBackend::PpdevPortBackend(std::unique_ptr<PpdevSystem> system, std::vector<Device> devices,
                                   std::unique_ptr<DirectPortBackend> direct, PortPath path)
    : system_(std::move(system)),
      devices_(std::move(devices)),
      direct_(std::move(direct)),
      path_(std::move(path)) {}
PpdevPortBackend::~PpdevPortBackend() = default;
void PpdevPortBackend::PortWrite(std::uint16_t, std::uint8_t) {}
std::uint8_t PpdevPortBackend::PortRead(std::uint16_t) {
  return 0xFF;
}
void PpdevPortBackend::PortReadRun(std::uint16_t, std::span<std::uint8_t> data) {
  std::fill(data.begin(), data.end(), std::uint8_t{0xFF});
}
void PpdevPortBackend::PortWriteRun(std::uint16_t, std::span<const std::uint8_t>) {}
std::uint16_t PpdevPortBackend::ReadLptBase(int) {
  return 0;
}
void PpdevPortBackend::Idle() {}
void PpdevPortBackend::EndJob() {}

#endif

}  // namespace velwin::xchanger
