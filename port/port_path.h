#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velwin::xchanger {

// How a backend reaches the parallel port: what link test reports and what
// its advice for a slow link rests on.
struct PortPath {
  enum class Kind {
    kOther,             // the simulation, or no port at all
    kPpdev,             // every access a call into the kernel's ppdev driver
    kDirect,            // port instructions, the kernel not asked
    kDirectUnderPpdev,  // port instructions while ppdev holds the port claimed
  };
  Kind kind = Kind::kOther;
  bool modesKnown = false;  // the kernel listed the port's modes
  bool epp = false;         // the port offers EPP
  bool ecp = false;         // an ECP port: an extended control register answers
  // The direct path puts that register in EPP mode for each job (the EPP
  // registers answer only then) and back as found afterwards.
  bool ecrToEpp = false;
  bool rawIo = false;  // this process may use port instructions
  // ... but the kernel refused them all the same (lockdown, a security
  // policy): the rights are no remedy here.
  bool directRefused = false;
  // What was assumed, or why the direct path was not taken; empty when
  // nothing needs saying.
  std::string note;
};

// "ECP+EPP", "EPP", "ECP", "SPP", or "unknown" when the kernel listed no
// modes and nothing was probed.
std::string PortKindText(const PortPath& path);

// A port address as messages write it: "0x378".
std::string PortAddressText(std::uint16_t address);

// Where a message about a port's rights sends the user for more.
inline constexpr std::string_view kPortHelp = " (see man velwin, section PARALLEL PORT)";

}  // namespace velwin::xchanger
