#pragma once

#include <memory>
#include <string>

#include "port/chip_clock.h"
#include "port/port_io.h"
#include "port/port_path.h"

namespace velwin::xchanger {

// A port backend chosen by its description:
//   "direct"            x86 port instructions (root or CAP_SYS_RAWIO)
//   "ppdev"             /dev/parportN through the kernel's ppdev interface
//   "sim:KEY=VALUE,..." the simulated X-Changer and cart
// Backends own their system resources and release them when destroyed; the
// simulation writes a changed SRAM image back then.
class PortBackend : public PortIo {
 public:
  // Writes back whatever the backend keeps (the simulated cart's SRAM).
  // Returns false with a message when that fails. Called by the destructor
  // too, where a failure can only be ignored.
  virtual bool Flush(std::string& error) {
    (void)error;
    return true;
  }

  // The program has no use for the port for a while (the SRAM manager is
  // closed): a backend that holds the port exclusively lets go of it, so a
  // printer on the same port can print, and takes it again at the next
  // access.
  virtual void Idle() {}

  // Takes the port for a job, before its first access: false, with why,
  // when this process may not drive it now (another velwin holds it, or it
  // cannot be opened again after Idle). Backends that are never shared
  // always may.
  virtual bool Reserve(std::string& why) {
    (void)why;
    return true;
  }

  // The clock the cart's chips run on: the machine's for a real port, the
  // simulation's own for the simulated X-Changer.
  virtual ChipClock& Clock() { return MachineChipClock(); }
  // Whether the chips' time is the backend's own (the simulation's): then
  // no pause of the scheduler can cut a page load, and a write needs no
  // real-time priority.
  virtual bool KeepsOwnTime() const { return false; }

  // The job in hand is over: a backend on a real port leaves it as the
  // kernel's printer driver expects it (control lines at rest, an ECP
  // port's mode as found), so a job that failed or was cancelled does too.
  // The next access starts the next job. The destructor and Idle end a job
  // as well.
  virtual void EndJob() {}
  // How the backend reaches the port, for link test and its advice.
  virtual PortPath Path() const { return {}; }
};

}  // namespace velwin::xchanger
