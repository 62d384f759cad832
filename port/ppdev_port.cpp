#include "port/ppdev_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

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

// Where the user reads how to get at the port: the manual page.
constexpr std::string_view kPortHelp = " (see man velwin, section PARALLEL PORT)";

std::string OpenFailure(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
      return path +
             " does not exist: load the ppdev module (modprobe ppdev), or name the port, "
             "as in ppdev:/dev/parport1" +
             std::string(kPortHelp);
    case EACCES:
    case EPERM:
      return "no permission to open " + path + ": add yourself to group lp and log in again" +
             std::string(kPortHelp);
    case ENXIO:
    case ENODEV:
      return path + " has no parallel port behind it";
    default:
      return "cannot open " + path + ": " + std::strerror(error);
  }
}

// Opens and claims one device; returns the descriptor or -1 with error set.
// The claim is exclusive where the kernel allows it, so that nothing else
// (another program, the printer driver) can even ask for the port during a
// job; the kernel refuses that while another driver such as lp has the port
// registered, and the port is then claimed the ordinary way. PPEXCL cannot
// be taken back on a descriptor, hence the second open.
int OpenDevice(PpdevSystem& system, const std::string& path, std::string& error) {
  int fd = system.Open(path);
  if (fd < 0) {
    error = OpenFailure(path, -fd);
    return -1;
  }
  if (system.Ioctl(fd, PPEXCL) == 0 && system.Ioctl(fd, PPCLAIM) == 0) {
    return fd;
  }
  system.Close(fd);
  fd = system.Open(path);
  if (fd < 0) {
    error = OpenFailure(path, -fd);
    return -1;
  }
  if (const int claim = system.Ioctl(fd, PPCLAIM); claim < 0) {
    error = "cannot claim " + path + " (" + std::strerror(-claim) +
            "): another program or the printer driver may hold it";
    system.Close(fd);
    return -1;
  }
  return fd;
}

// The kernel hands at most this many bytes to the port per read() or
// write() of a descriptor that does not block.
constexpr std::size_t kKernelRun = 1024;

}  // namespace

PpdevPortBackend::PpdevPortBackend(std::unique_ptr<PpdevSystem> system, std::vector<Device> devices)
    : system_(std::move(system)), devices_(std::move(devices)) {}

PpdevPortBackend::~PpdevPortBackend() {
  for (const Device& device : devices_) {
    if (device.claimed)
      system_->Ioctl(device.fd, PPRELEASE);
    system_->Close(device.fd);
  }
}

void PpdevPortBackend::Idle() {
  for (Device& device : devices_) {
    if (device.claimed) {
      system_->Ioctl(device.fd, PPRELEASE);
      device.claimed = false;
    }
  }
}

PpdevPortBackend::Device* PpdevPortBackend::Find(std::uint16_t port, unsigned& offset) {
  for (Device& device : devices_) {
    if (port >= device.base && static_cast<unsigned>(port - device.base) <= kEppData) {
      if (!device.claimed) {
        if (system_->Ioctl(device.fd, PPCLAIM) < 0)
          return nullptr;
        // Whoever had the port meanwhile may have left it in another mode
        // and with the data lines turned round.
        device.claimed = true;
        device.mode = -1;
        device.reversed = true;
        device.control = -1;
      }
      offset = static_cast<unsigned>(port - device.base);
      return &device;
    }
  }
  return nullptr;
}

void PpdevPortBackend::SetMode(Device& device, int mode) {
  // Every EPP cycle starts here. A port without EPP hardware has the kernel
  // make the cycle on the control lines, so the control register may hold
  // anything afterwards: the next control write goes out whatever it is.
  device.control = -1;
  if (device.mode != mode && system_->IoctlSetInt(device.fd, PPSETMODE, mode) == 0) {
    device.mode = mode;
  }
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
  const std::uint8_t byte[1] = {value};
  switch (offset) {
    case kData:
      Forward(*device);
      system_->IoctlSetByte(device->fd, PPWDATA, value);
      break;
    case kStatus:
      // The status register is read-only to ppdev; the kernel clears the
      // EPP time-out flag itself around every EPP transfer.
      break;
    case kControl:
      // Writing the value the register holds changes no line, so the
      // X-Changer sees nothing of it: the system call is saved. Known only
      // between two EPP cycles (see SetMode).
      if (device->control != value && system_->IoctlSetByte(device->fd, PPWCONTROL, value) == 0)
        device->control = value;
      break;
    case kEppAddress:
    case kEppData:
      SetMode(*device, offset == kEppAddress ? kEppAddressMode : kEppDataMode);
      if (system_->Write(device->fd, byte) == 1) {
        device->reversed = false;
      }
      break;
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
  switch (offset) {
    case kData:
    case kStatus:
    case kControl: {
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
      device->reversed = true;
      if (system_->Read(device->fd, byte) == 1) {
        value = byte[0];
      }
      break;
    }
  }
  return value;
}

PpdevPortBackend::Device* PpdevPortBackend::EppRun(std::uint16_t port) {
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
  device->reversed = true;
  while (!data.empty()) {
    const std::size_t chunk = std::min(data.size(), kKernelRun);
    const long got = system_->Read(device->fd, data.first(chunk));
    const std::size_t done = got > 0 ? std::min(static_cast<std::size_t>(got), chunk) : 0;
    if (done < chunk)
      data[done] = 0xFF;  // what an open bus reads
    data = data.subspan(done < chunk ? done + 1 : done);
  }
}

void PpdevPortBackend::PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) {
  Device* device = EppRun(port);
  if (device == nullptr)
    return PortBackend::PortWriteRun(port, data);
  while (!data.empty()) {
    const std::size_t chunk = std::min(data.size(), kKernelRun);
    const long put = system_->Write(device->fd, data.first(chunk));
    const std::size_t done = put > 0 ? std::min(static_cast<std::size_t>(put), chunk) : 0;
    if (done > 0)
      device->reversed = false;
    data = data.subspan(done < chunk ? done + 1 : done);
  }
}

std::uint16_t PpdevPortBackend::ReadLptBase(int n) {
  if (n < 1 || static_cast<std::size_t>(n) > devices_.size()) {
    return 0;
  }
  return devices_[static_cast<std::size_t>(n - 1)].base;
}

std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view options,
                                           std::unique_ptr<PpdevSystem> system,
                                           std::string& error) {
  if (!system) {
    error = "the ppdev backend is not supported on this platform";
    return nullptr;
  }
  if (!options.empty() && (options.front() != ':' || options.size() == 1)) {
    error = "cannot read \"ppdev" + std::string(options) +
            "\": write ppdev, or ppdev:DEVICE as in ppdev:/dev/parport1";
    return nullptr;
  }
  std::vector<PpdevPortBackend::Device> devices;
  const std::string first = options.empty() ? "/dev/parport0" : std::string(options.substr(1));
  const int fd = OpenDevice(*system, first, error);
  if (fd < 0) {
    return nullptr;
  }
  devices.push_back({fd, kPpdevBase1});
  if (options.empty() && system->Exists("/dev/parport1")) {
    // The second port is a bonus: when it cannot be had, the search simply
    // finds no second port.
    std::string ignored;
    if (const int second = OpenDevice(*system, "/dev/parport1", ignored); second >= 0) {
      devices.push_back({second, kPpdevBase2});
    }
  }
  for (auto& device : devices) {
    system->IoctlSetInt(device.fd, PPDATADIR, 0);
    device.reversed = false;
  }
  return std::make_unique<PpdevPortBackend>(std::move(system), std::move(devices));
}

#else

PpdevPortBackend::PpdevPortBackend(std::unique_ptr<PpdevSystem> system, std::vector<Device> devices)
    : system_(std::move(system)), devices_(std::move(devices)) {}
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

std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view, std::unique_ptr<PpdevSystem>,
                                           std::string& error) {
  error = "the ppdev backend is not supported on this platform";
  return nullptr;
}

#endif

}  // namespace velwin::xchanger
