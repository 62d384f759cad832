#include "port/direct_port.h"
#include "port/port_path.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

#include "port/control_lines.h"
#include "port/extended_control.h"
#include "port/parport_sysctl.h"

namespace velwin::xchanger {

namespace {

constexpr unsigned kRegisterCount = 5;  // base + 0 to base + 4, EPP registers included

// Why a base the user named cannot be a parallel port, or empty when it can.
// The ports below 0x100 are the system board's own (DMA, interrupt and
// timer chips, the keyboard controller), and a parallel port's registers
// always start on a 4-byte boundary. The kernel's own list settles doubt.
std::string BaseRefusal(std::uint16_t base, const std::vector<std::uint16_t>& listed) {
  if (std::find(listed.begin(), listed.end(), base) != listed.end()) {
    return {};
  }
  constexpr const char* kUsual = "; the usual bases are 0x378, 0x278 and 0x3BC";
  if (base < 0x100) {
    return "the port base " + PortAddressText(base) +
           " lies among the system board's own devices (0x0 to 0xFF: DMA, interrupt and timer "
           "chips, the keyboard controller), where no parallel port can be" +
           kUsual;
  }
  if (base % 4 != 0) {
    return "the port base " + PortAddressText(base) +
           " is not a multiple of 4, so it cannot be where a parallel port's registers start "
           "(did you mean " +
           PortAddressText(static_cast<std::uint16_t>(base & ~3u)) + "?)" + kUsual;
  }
  return {};
}

}  // namespace

bool ParsePortBase(std::string_view text, std::uint16_t& base) {
  int radix = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    radix = 16;
  }
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, radix);
  if (ec != std::errc() || end != text.data() + text.size() || value > 0xFFFF) {
    return false;
  }
  base = static_cast<std::uint16_t>(value);
  return true;
}

// Where the user reads how to get at the port: the manual page.
std::string PortPermissionMessage(std::uint16_t base, int error, bool hasRawIo,
                                  std::string_view lockdown) {
  const std::string where = "direct access to the parallel port at " + PortAddressText(base);
  if (error == EPERM || error == EACCES) {
    if (!hasRawIo) {
      return where +
             " was refused: needs root or CAP_SYS_RAWIO; or use the ppdev backend with "
             "membership of group lp" +
             std::string(kPortHelp);
    }
    // The privilege is there, so the kernel itself forbids raw port access.
    const auto open = lockdown.find('[');
    const auto close = lockdown.find(']');
    std::string policy = "a kernel security policy";
    if (open != std::string_view::npos && close != std::string_view::npos && close > open + 1) {
      const std::string_view mode = lockdown.substr(open + 1, close - open - 1);
      if (mode != "none") {
        policy = "kernel lockdown (" + std::string(mode) + ")";
      }
    }
    return where + " was refused by " + policy + " although the program holds CAP_SYS_RAWIO; " +
           "use the ppdev backend with membership of group lp" + std::string(kPortHelp);
  }
  if (error == EINVAL) {
    return where + " is outside the ports this kernel lets programs open";
  }
  return where + " failed: " + std::strerror(error);
}

DirectPortBackend::DirectPortBackend(std::unique_ptr<DirectPortSystem> system,
                                     std::vector<DirectPortSetup> ports, PortPath path)
    : system_(std::move(system)), path_(std::move(path)) {
  for (DirectPortSetup& setup : ports) {
    Port port;
    port.setup = std::move(setup);
    ports_.push_back(std::move(port));
  }
}

DirectPortBackend::~DirectPortBackend() {
  EndJob();
  for (const Port& port : ports_)
    DropDirectPort(*system_, port.setup);
}

DirectPortBackend::Port* DirectPortBackend::Find(std::uint16_t address) {
  for (Port& port : ports_) {
    const std::uint16_t base = port.setup.base;
    if (base != 0 && address >= base && static_cast<unsigned>(address - base) < kRegisterCount)
      return &port;
  }
  return nullptr;
}

void DirectPortBackend::WriteEcr(Port& port, std::uint8_t value) {
  const std::uint16_t ecr = port.setup.ecrPort;
  MoveEcr(port.ecr, value, [&](std::uint8_t step) { system_->Outb(ecr, step); });
  port.ecr = value;
}

void DirectPortBackend::BeginJob(Port& port) {
  port.inJob = true;
  port.control = -1;
  if (!port.setup.ecr)
    return;
  // Bits 0 and 1 report the FIFO and are not written back.
  port.foundEcr = static_cast<std::uint8_t>(system_->Inb(port.setup.ecrPort) & ~0x03u);
  port.ecr = port.foundEcr;
  if (port.setup.ecrToEpp)
    WriteEcr(port, kEcrForJob);
}

void DirectPortBackend::EndJob(Port& port) {
  if (!port.inJob)
    return;
  const auto control = static_cast<std::uint16_t>(port.setup.base + 2);
  const std::uint8_t from =
      port.control >= 0 ? static_cast<std::uint8_t>(port.control) : system_->Inb(control);
  // The lines come to rest one at a time; a register that may hold
  // anything gets the whole byte once more at the end.
  StepControl(static_cast<std::uint8_t>(from & 0x3F), kControlAtRest,
              [&](std::uint8_t value) { system_->Outb(control, value); });
  if (port.control < 0)
    system_->Outb(control, kControlAtRest);
  if (port.setup.ecr && port.ecr != port.foundEcr)
    WriteEcr(port, port.foundEcr);
  port.inJob = false;
  port.control = -1;
}

void DirectPortBackend::EndJob() {
  for (Port& port : ports_)
    EndJob(port);
}

void DirectPortBackend::PortWrite(std::uint16_t address, std::uint8_t value) {
  Port* port = Find(address);
  if (port == nullptr)
    return;
  if (!port->inJob)
    BeginJob(*port);
  if (address - port->setup.base == 2) {
    // Writing the value the register holds moves no line: one port access
    // saved, which on this path is a sixth of an EPP byte's time.
    if (port->control == value)
      return;
    if (port->control < 0) {
      // The first write of a job moves the lines from wherever the kernel
      // or the last program left them, one at a time.
      const std::uint8_t found = static_cast<std::uint8_t>(system_->Inb(address) & 0x3F);
      StepControl(found, value, [&](std::uint8_t step) { system_->Outb(address, step); });
    } else {
      system_->Outb(address, value);
    }
    port->control = value;
    return;
  }
  system_->Outb(address, value);
}

std::uint8_t DirectPortBackend::PortRead(std::uint16_t address) {
  Port* port = Find(address);
  if (port == nullptr)
    return 0xFF;
  if (!port->inJob)
    BeginJob(*port);
  return system_->Inb(address);
}

std::uint16_t DirectPortBackend::ReadLptBase(int n) {
  return n >= 1 && static_cast<std::size_t>(n) <= ports_.size()
             ? ports_[static_cast<std::size_t>(n - 1)].setup.base
             : 0;
}

std::unique_ptr<PortBackend> OpenDirectPort(std::string_view options,
                                            std::unique_ptr<DirectPortSystem> system,
                                            const std::filesystem::path& sysctlRoot,
                                            std::string& error) {
  if (!system) {
#ifdef _WIN32
    // Windows: user programs reach I/O ports only through a kernel driver.
    error = "direct port access needs a driver; not supported";
#else
    error = "direct port access is not supported on this platform; use the ppdev backend";
#endif
    return nullptr;
  }
  std::array<std::uint16_t, 2> bases{};
  if (options.empty()) {
    bases = {ReadParportBase(sysctlRoot, 1), ReadParportBase(sysctlRoot, 2)};
    if (bases[0] == 0 && bases[1] == 0) {
      error = "no parallel port is listed in " + sysctlRoot.string() +
              ": load the parport_pc module, or name the port's base, as in direct:0x378";
      return nullptr;
    }
  } else {
    std::string_view list = options.substr(options.front() == ':' ? 1 : 0);
    const auto comma = list.find(',');
    const std::string_view first = list.substr(0, comma);
    const std::string_view second =
        comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (options.front() != ':' || !ParsePortBase(first, bases[0]) ||
        (!second.empty() && !ParsePortBase(second, bases[1])) ||
        (comma != std::string_view::npos && second.empty())) {
      error = "cannot read the port bases in \"direct" + std::string(options) +
              "\": write them as direct:0x378 or direct:0x378,0x278";
      return nullptr;
    }
    if (bases[0] == 0 || (!second.empty() && bases[1] == 0)) {
      error = "port base 0 names no parallel port; the usual bases are 0x378, 0x278 and 0x3BC";
      return nullptr;
    }
    const std::vector<std::uint16_t> listed = ListedParportBases(sysctlRoot);
    for (const std::uint16_t base : bases) {
      if (base == 0) {
        continue;
      }
      if (std::string refusal = BaseRefusal(base, listed); !refusal.empty()) {
        error = std::move(refusal);
        return nullptr;
      }
    }
  }
  for (const std::uint16_t base : bases) {
    if (base != 0 && !UsablePortBase(base)) {
      error = "the port base " + PortAddressText(base) +
              " lies too close to either end of the I/O space";
      return nullptr;
    }
  }
  std::vector<DirectPortSetup> ports(bases.size());
  for (std::size_t i = 0; i < bases.size(); ++i) {
    if (bases[i] == 0)
      continue;
    if (const int failure = GrantDirectPort(*system, bases[i], sysctlRoot, ports[i]);
        failure != 0) {
      error = PortPermissionMessage(bases[i], failure, system->HasRawIo(), system->Lockdown());
      // Hand back what was already granted before giving up.
      for (std::size_t j = 0; j < i; ++j)
        DropDirectPort(*system, ports[j]);
      return nullptr;
    }
  }
  PortPath path = DirectPathOf(ports, PortPath::Kind::kDirect);
  return std::make_unique<DirectPortBackend>(std::move(system), std::move(ports), std::move(path));
}

}  // namespace velwin::xchanger
