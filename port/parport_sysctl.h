#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace velwin::xchanger {

// Where the Linux parport driver lists its ports: parport0 is LPT1.
inline const std::filesystem::path kParportSysctlRoot = "/proc/sys/dev/parport";

// The I/O base of a port from its "base-addr" entry: the first of its
// numbers ("888\t1912\n" gives 0x378). Empty when the text holds no number
// that fits a 16-bit port address.
std::optional<std::uint16_t> ParseParportBase(std::string_view text);

// The I/O base of parallel port n (1 = parport0) as the driver lists it
// under root, 0 when there is no such port.
std::uint16_t ReadParportBase(const std::filesystem::path& root, int n);

// The I/O bases of every port the driver lists under root (parport0,
// parport1, ... in any number), in no particular order.
std::vector<std::uint16_t> ListedParportBases(const std::filesystem::path& root);

// The second block of registers of the port at base, from the second number
// of its "base-addr" entry ("888\t1912\n" gives 0x778); 0 when the driver
// lists none (-1) or no port at base.
std::uint16_t ReadParportHighBase(const std::filesystem::path& root, std::uint16_t base);

// What a port's "modes" entry lists ("PCSPP,TRISTATE,COMPAT,EPP,ECP,DMA").
struct PortModes {
  bool epp = false;  // EPP, in hardware or through an ECP port's register
  bool ecp = false;  // an ECP port: the extended control register is there
};

// The modes of a "modes" entry; empty when the text names none of the
// modes the driver knows (an empty or garbled entry).
std::optional<PortModes> ParseParportModes(std::string_view text);

// The modes of the port at base as the driver lists them under root; empty
// when no listed port has that base or its entry cannot be read.
std::optional<PortModes> ReadParportModes(const std::filesystem::path& root, std::uint16_t base);

}  // namespace velwin::xchanger
