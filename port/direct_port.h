#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "port/direct_port_system.h"
#include "port/port_backend.h"

namespace velwin::xchanger {

// Says why access to the port at base was refused and what to do, telling a
// missing privilege from a kernel that refuses it to everyone.
std::string PortPermissionMessage(std::uint16_t base, int error, bool hasRawIo,
                                  std::string_view lockdown);

// One parallel port as the direct path drives it.
struct DirectPortSetup {
  std::uint16_t base = 0;
  // Its extended control register answers and is granted: an ECP port.
  bool ecr = false;
  std::uint16_t ecrPort = 0;  // where that register is
  // Put that register in EPP mode for each job: on an ECP port the EPP
  // registers answer only then.
  bool ecrToEpp = false;
  bool modesKnown = false;  // the kernel listed the port's modes
  bool epp = false;         // it offers EPP, as listed or assumed
  std::string note;         // what was assumed about it
};

// Direct access to the registers of the first and second parallel port.
// Accesses outside the ports it was granted are dropped (reads give 0xFF):
// an unpermitted port instruction would kill the program.
//
// A job starts at the first access after the backend opened or the last
// job ended: an ECP port's extended control register is then read and set
// to EPP mode. EndJob, Idle and the destructor end it: the control lines
// go to rest and the register gets back the value found, so the kernel and
// a printer find the port as they left it, also after a failed or
// cancelled job.
class DirectPortBackend : public PortBackend {
 public:
  DirectPortBackend(std::unique_ptr<DirectPortSystem> system, std::vector<DirectPortSetup> ports,
                    PortPath path);
  ~DirectPortBackend() override;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  std::uint16_t ReadLptBase(int n) override;
  void EndJob() override;
  void Idle() override { EndJob(); }
  PortPath Path() const override { return path_; }

 private:
  struct Port {
    DirectPortSetup setup;
    bool inJob = false;
    std::uint8_t foundEcr = 0;
    std::uint8_t ecr = 0;  // as last written
    int control = -1;      // as last written in this job, -1 before the first write
  };

  // The port whose registers hold address, null when none does.
  Port* Find(std::uint16_t address);
  void BeginJob(Port& port);
  void EndJob(Port& port);
  void WriteEcr(Port& port, std::uint8_t value);

  std::unique_ptr<DirectPortSystem> system_;
  std::vector<Port> ports_;
  PortPath path_;
};

// Reads a port base as "0x378" (hexadecimal) or "888" (decimal); a leading
// zero is no octal. False for anything else, or past 0xFFFF.
bool ParsePortBase(std::string_view text, std::uint16_t& base);

// Opens "direct" with the bases the parport driver lists under sysctlRoot,
// or "direct:BASE1[,BASE2]" (hex with 0x, or decimal) with bases of the
// user's choosing. options is the text after "direct", colon included.
// A named base below 0x100 or not a multiple of 4 is refused unless the
// driver lists it: no parallel port can sit there.
std::unique_ptr<PortBackend> OpenDirectPort(std::string_view options,
                                            std::unique_ptr<DirectPortSystem> system,
                                            const std::filesystem::path& sysctlRoot,
                                            std::string& error);

// Grants the registers of the port at base and finds whether it is an ECP
// port: from the modes the driver lists under sysctlRoot, else by probing
// its extended control register. Returns the errno of a refused grant, 0
// on success.
int GrantDirectPort(DirectPortSystem& system, std::uint16_t base,
                    const std::filesystem::path& sysctlRoot, DirectPortSetup& setup);
// The path through the first port of ports, with the notes of all.
PortPath DirectPathOf(const std::vector<DirectPortSetup>& ports, PortPath::Kind kind);
// Hands back what GrantDirectPort granted.
void DropDirectPort(DirectPortSystem& system, const DirectPortSetup& setup);

}  // namespace velwin::xchanger
