#include "port/port_path.h"

namespace velwin::xchanger {

std::string PortKindText(const PortPath& path) {
  if (path.ecp)
    return path.epp ? "ECP+EPP" : "ECP";
  if (!path.modesKnown)
    return "unknown";
  return path.epp ? "EPP" : "SPP";
}

}  // namespace velwin::xchanger
