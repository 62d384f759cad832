// Granting one port to the direct path, and finding whether it is an ECP
// port whose EPP registers hide behind the extended control register.

#include <algorithm>

#include "port/direct_port.h"
#include "port/extended_control.h"
#include "port/parport_sysctl.h"
#include "port/port_path.h"

namespace velwin::xchanger {

namespace {

constexpr unsigned kRegisterCount = 5;  // base + 0 to base + 4, EPP registers included

}  // namespace

int GrantDirectPort(DirectPortSystem& system, std::uint16_t base,
                    const std::filesystem::path& sysctlRoot, DirectPortSetup& setup) {
  setup = DirectPortSetup{};
  setup.base = base;
  if (const int failure = system.Ioperm(base, kRegisterCount, true); failure != 0)
    return failure;
  const std::optional<PortModes> modes = ReadParportModes(sysctlRoot, base);
  setup.modesKnown = modes.has_value();
  setup.epp = modes && modes->epp;
  // A port the driver lists without ECP has no extended control register:
  // its registers are left alone, nothing beyond base + 4 is touched.
  if (modes && !modes->ecp)
    return 0;
  std::uint16_t ecr = 0;
  if (modes) {
    // The register sits by the second block of registers the driver
    // lists; a PCI card's may be anywhere.
    const std::uint16_t high = ReadParportHighBase(sysctlRoot, base);
    if (high == 0) {
      setup.note = "the kernel lists the port at " + PortAddressText(base) +
                   " as ECP without the base of its extended control register: driven as a "
                   "plain port";
      return 0;
    }
    ecr = static_cast<std::uint16_t>(high + 2);
  } else if (base < 0x400) {
    // Unlisted: only a main board's port has its register at base + 0x402
    // for certain; on any other base that address may be another device's.
    ecr = static_cast<std::uint16_t>(base + kEcrOffset);
  } else {
    return 0;
  }
  if (system.Ioperm(ecr, 1, true) != 0) {
    setup.note = "the extended control register at " + PortAddressText(ecr) +
                 " could not be opened, so the port stays out of EPP mode if it is ECP";
    return 0;
  }
  if (!EcrAnswers(system, base, ecr)) {
    system.Ioperm(ecr, 1, false);
    if (modes) {
      setup.note = "the kernel lists the port at " + PortAddressText(base) +
                   " as ECP, but no extended control register answers at " + PortAddressText(ecr) +
                   ": driven as a plain port";
    }
    return 0;
  }
  setup.ecrPort = ecr;
  setup.ecr = true;
  // Without the kernel's list the register is set to EPP mode on trust:
  // where the port has no EPP the search finds the X-Changer in SPP mode.
  setup.ecrToEpp = !modes || modes->epp;
  if (!modes) {
    setup.epp = true;
    setup.note = "no port modes listed in " + sysctlRoot.string() +
                 ": an extended control register answered at " + PortAddressText(ecr) +
                 ", so the port was taken for ECP+EPP";
  }
  return 0;
}

void DropDirectPort(DirectPortSystem& system, const DirectPortSetup& setup) {
  if (setup.base == 0)
    return;
  system.Ioperm(setup.base, kRegisterCount, false);
  if (setup.ecr)
    system.Ioperm(setup.ecrPort, 1, false);
}

PortPath DirectPathOf(const std::vector<DirectPortSetup>& ports, PortPath::Kind kind) {
  PortPath path;
  path.kind = kind;
  path.rawIo = true;
  const auto used = std::find_if(ports.begin(), ports.end(),
                                 [](const DirectPortSetup& port) { return port.base != 0; });
  if (used == ports.end())
    return path;
  const DirectPortSetup& first = *used;
  path.modesKnown = first.modesKnown;
  path.epp = first.epp;
  path.ecp = first.ecr;
  path.ecrToEpp = first.ecrToEpp;
  for (const DirectPortSetup& port : ports) {
    if (!port.note.empty())
      path.note += (path.note.empty() ? "" : "; ") + port.note;
  }
  return path;
}

bool EcrAnswers(DirectPortSystem& system, std::uint16_t base, std::uint16_t ecr) {
  const auto control = static_cast<std::uint16_t>(base + 2);
  const std::uint8_t found = system.Inb(ecr);
  if ((found & 0x03) != 0x01)
    return false;
  const std::uint8_t controlWas = system.Inb(control);
  // PS/2 mode with the interrupts masked: no strobe moves even where this
  // lands on a mirrored control register (INIT high, data lines turned).
  constexpr std::uint8_t kProbe = kEcrModePs2 | 0x14;
  system.Outb(ecr, kProbe);
  const bool answers = system.Inb(ecr) == (kProbe | 0x01);
  if (answers) {
    MoveEcr(kProbe, found, [&](std::uint8_t value) { system.Outb(ecr, value); });
  } else {
    // The lines as they were, the data lines driven forward again.
    system.Outb(control, static_cast<std::uint8_t>(controlWas & 0x1F));
  }
  return answers;
}

}  // namespace velwin::xchanger
