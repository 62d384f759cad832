#include "port/port_path.h"

#include <sstream>

namespace velwin::xchanger {

std::string PortKindText(const PortPath& path) {
  if (path.ecp)
    return path.epp ? "ECP+EPP" : "ECP";
  if (!path.modesKnown)
    return "unknown";
  return path.epp ? "EPP" : "SPP";
}

std::string PortAddressText(std::uint16_t address) {
  std::ostringstream out;
  out << "0x" << std::hex << std::uppercase << address;
  return out.str();
}

}  // namespace velwin::xchanger
