// Opening and claiming /dev/parportN, and the direct path under the claim.

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "port/control_lines.h"
#include "port/parport_sysctl.h"
#include "port/port_path.h"
#include "port/ppdev_port.h"

#ifdef __linux__
#include <sys/ioctl.h>

#include <linux/parport.h>
#include <linux/ppdev.h>
#endif

namespace velwin::xchanger {

#ifdef __linux__

namespace {

// Where the user reads how to get at the port: the manual page.
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

std::string ClaimFailure(const std::string& path, int error) {
  if (error == EBUSY || error == EINTR || error == ENXIO) {
    return "cannot claim " + path +
           ": another program holds the port (a printer daemon, or a program with the port "
           "open through " +
           path + ") and did not let it go; stop it and try again";
  }
  return "cannot claim " + path + " (" + std::strerror(error) +
         "): another program or the printer driver may hold it";
}

// Opens and claims one device; returns the descriptor or -1 with error set.
// The claim is exclusive where the kernel allows it, so that nothing else
// (another program, the printer driver) can even ask for the port during a
// job; the kernel refuses that while another driver such as lp has the port
// registered, and the port is then claimed the ordinary way. PPEXCL cannot
// be taken back on a descriptor, hence the second open. A claim that
// another program's hold would make wait for ever gives up instead (the
// system layer sets the limit).
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
    error = ClaimFailure(path, -claim);
    system.Close(fd);
    return -1;
  }
  return fd;
}

// What the kernel does to the control register around an EPP transfer on
// this port, from the modes it found there.
PpdevPortBackend::EppControl EppControlOf(int modes) {
  if ((modes & PARPORT_MODE_EPP) == 0)
    return PpdevPortBackend::EppControl::kUnknown;
  return (modes & PARPORT_MODE_ECP) != 0 ? PpdevPortBackend::EppControl::kRewritten
                                         : PpdevPortBackend::EppControl::kKept;
}

// The number N of /dev/parportN, -1 for another name.
int DeviceNumber(std::string_view path) {
  constexpr std::string_view kPrefix = "/dev/parport";
  if (!path.starts_with(kPrefix) || path.size() == kPrefix.size())
    return -1;
  int number = -1;
  const auto [end, ec] =
      std::from_chars(path.data() + kPrefix.size(), path.data() + path.size(), number);
  return ec == std::errc() && end == path.data() + path.size() ? number : -1;
}

// Whether the port at base is the one behind the descriptor: a byte the
// kernel puts on the data lines must read back there, twice over so that
// a floating bus cannot pass. The X-Changer ignores the data lines without
// a strobe.
bool SamePort(PpdevSystem& ppdev, int fd, DirectPortSystem& direct, std::uint16_t base) {
  for (const std::uint8_t pattern : {0x55, 0xAA}) {
    if (ppdev.IoctlSetByte(fd, PPWDATA, pattern) != 0 || direct.Inb(base) != pattern)
      return false;
  }
  return true;
}

struct Opened {
  std::vector<PpdevPortBackend::Device> devices;
  std::vector<std::string> paths;
  int modes = -1;  // of the first device, -1 when the kernel did not say
};

bool OpenDevices(std::string_view options, PpdevSystem& system, Opened& opened,
                 std::string& error) {
  if (!options.empty() && (options.front() != ':' || options.size() == 1)) {
    error = "cannot read \"ppdev" + std::string(options) +
            "\": write ppdev, or ppdev:DEVICE as in ppdev:/dev/parport1";
    return false;
  }
  const std::string first = options.empty() ? "/dev/parport0" : std::string(options.substr(1));
  const int fd = OpenDevice(system, first, error);
  if (fd < 0)
    return false;
  opened.devices.push_back({fd, kPpdevBase1});
  opened.paths.push_back(first);
  if (options.empty() && system.Exists("/dev/parport1")) {
    // The second port is a bonus: when it cannot be had, the search simply
    // finds no second port.
    std::string ignored;
    if (const int second = OpenDevice(system, "/dev/parport1", ignored); second >= 0) {
      opened.devices.push_back({second, kPpdevBase2});
      opened.paths.push_back("/dev/parport1");
    }
  }
  for (auto& device : opened.devices) {
    // ppdev opens every descriptor in compatibility mode.
    device.mode = IEEE1284_MODE_COMPAT;
    int modes = 0;
    if (system.IoctlGetInt(device.fd, PPGETMODES, modes) == 0) {
      device.eppControl = EppControlOf(modes);
      if (&device == &opened.devices.front())
        opened.modes = modes;
    }
    std::uint8_t control = 0;
    if (system.IoctlGetByte(device.fd, PPRCONTROL, control) == 0)
      device.control = control & kControlLines;
    system.IoctlSetInt(device.fd, PPDATADIR, 0);
    device.reversed = false;
  }
  return true;
}

PortPath PpdevPathOf(int modes) {
  PortPath path;
  path.kind = PortPath::Kind::kPpdev;
  path.modesKnown = modes >= 0;
  path.epp = modes >= 0 && (modes & PARPORT_MODE_EPP) != 0;
  path.ecp = modes >= 0 && (modes & PARPORT_MODE_ECP) != 0;
  return path;
}

}  // namespace

std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view options,
                                           std::unique_ptr<PpdevSystem> system,
                                           std::string& error) {
  return OpenPpdevPort(options, std::move(system), nullptr, {}, error);
}

std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view options,
                                           std::unique_ptr<PpdevSystem> system,
                                           std::unique_ptr<DirectPortSystem> direct,
                                           const std::filesystem::path& sysctlRoot,
                                           std::string& error) {
  if (!system) {
    error = "the ppdev backend is not supported on this platform";
    return nullptr;
  }
  Opened opened;
  if (!OpenDevices(options, *system, opened, error))
    return nullptr;
  PortPath path = PpdevPathOf(opened.modes);
  path.rawIo = direct && direct->HasRawIo();
  if (!path.rawIo)
    return std::make_unique<PpdevPortBackend>(std::move(system), std::move(opened.devices), nullptr,
                                              std::move(path));
  // The process may use port instructions: the port stays claimed through
  // ppdev, so the kernel and other programs keep off it, and the link's
  // accesses go straight to the registers. Any doubt about where the
  // registers are, and ppdev it is.
  std::vector<DirectPortSetup> ports(opened.devices.size());
  std::string why;
  for (std::size_t i = 0; i < opened.devices.size() && why.empty(); ++i) {
    const int number = DeviceNumber(opened.paths[i]);
    const std::uint16_t base = number >= 0 ? ReadParportBase(sysctlRoot, number + 1) : 0;
    if (base == 0 || !UsablePortBase(base)) {
      why = "no I/O base for " + opened.paths[i] + " is listed in " + sysctlRoot.string();
    } else if (const int failure = GrantDirectPort(*direct, base, sysctlRoot, ports[i]);
               failure != 0) {
      why = PortPermissionMessage(base, failure, true, direct->Lockdown());
      path.directRefused = true;
    } else if (!SamePort(*system, opened.devices[i].fd, *direct, base)) {
      why = sysctlRoot.string() + " lists " + PortAddressText(base) + " for " + opened.paths[i] +
            ", but the port there does not answer as that device does";
    } else {
      opened.devices[i].ioBase = base;
    }
  }
  if (!why.empty()) {
    for (const DirectPortSetup& port : ports)
      DropDirectPort(*direct, port);
    for (auto& device : opened.devices)
      device.ioBase = 0;
    path.note = why + "; ppdev used, with a kernel call per port access";
    return std::make_unique<PpdevPortBackend>(std::move(system), std::move(opened.devices), nullptr,
                                              std::move(path));
  }
  const bool modesKnown = path.modesKnown;
  PortPath directPath = DirectPathOf(ports, PortPath::Kind::kDirectUnderPpdev);
  if (modesKnown) {
    // The kernel's own view of the port settles what the list showed.
    directPath.modesKnown = true;
    directPath.epp = path.epp || directPath.epp;
  }
  auto directPort =
      std::make_unique<DirectPortBackend>(std::move(direct), std::move(ports), directPath);
  return std::make_unique<PpdevPortBackend>(std::move(system), std::move(opened.devices),
                                            std::move(directPort), std::move(directPath));
}

#else

std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view, std::unique_ptr<PpdevSystem>,
                                           std::string& error) {
  error = "the ppdev backend is not supported on this platform";
  return nullptr;
}

std::unique_ptr<PortBackend> OpenPpdevPort(std::string_view, std::unique_ptr<PpdevSystem>,
                                           std::unique_ptr<DirectPortSystem>,
                                           const std::filesystem::path&, std::string& error) {
  error = "the ppdev backend is not supported on this platform";
  return nullptr;
}

#endif

}  // namespace velwin::xchanger
