#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "port/port_backend.h"

namespace velwin::sramman {

// The description that stands for the built-in demo card.
inline constexpr const char* kDemoPortDescription = "demo";

// How a port is opened.
struct SramPortOptions {
  // Where the trace of every port access goes (--trace, VELWIN_TRACE);
  // empty for none.
  std::string tracePath;
  // The window opens its port long before its first job: a port that
  // another velwin holds then is no failure, and the first job is refused
  // instead (Reserve says so). Otherwise the open fails with the message.
  bool busyIsNoFailure = false;
};

// Opens the port the SRAM manager talks through: "demo" gives the simulated
// X-Changer holding the demo card (its SRAM kept in memory), anything else
// is a backend description ("direct", "ppdev", "sim:..."). A port, or a
// simulated cart's files, are held for this process alone until the port
// is closed or goes idle: a second velwin is refused with "The X-Changer on
// PORT is in use by another velwin (process N)." On failure returns null
// with a message in error.
std::unique_ptr<xchanger::PortBackend> OpenSramPort(const std::string& description,
                                                    std::string& error,
                                                    const SramPortOptions& options = {});

// The status line that explains a port OpenSramPort refused: the
// description and the backend's reason, which says what to do.
std::string PortProblemText(const std::string& description, const std::string& error);

// Stands in for a port that could not be opened: the machine lists no
// parallel port, so the search for the X-Changer finds nothing and no port
// access is ever made.
class AbsentPort : public xchanger::PortBackend {
 public:
  void PortWrite(std::uint16_t, std::uint8_t) override {}
  std::uint8_t PortRead(std::uint16_t) override { return 0xFF; }
  std::uint16_t ReadLptBase(int) override { return 0; }
};

}  // namespace velwin::sramman
