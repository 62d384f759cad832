#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "port/direct_port_system.h"
#include "port/port_backend.h"

namespace velwin::xchanger {

// Says why access to the port at base was refused and what to do, telling a
// missing privilege from a kernel that refuses it to everyone.
std::string PortPermissionMessage(std::uint16_t base, int error, bool hasRawIo,
                                  std::string_view lockdown);

// Direct access to the registers of the first and second parallel port.
// Accesses outside the ports it was granted are dropped (reads give 0xFF):
// an unpermitted port instruction would kill the program.
class DirectPortBackend : public PortBackend {
 public:
  DirectPortBackend(std::unique_ptr<DirectPortSystem> system,
                    const std::array<std::uint16_t, 2>& bases);
  ~DirectPortBackend() override;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  std::uint16_t ReadLptBase(int n) override;

 private:
  bool Granted(std::uint16_t port) const;

  std::unique_ptr<DirectPortSystem> system_;
  std::array<std::uint16_t, 2> bases_;
};

// Opens "direct" with the bases the parport driver lists under sysctlRoot,
// or "direct:BASE1[,BASE2]" (hex with 0x, or decimal) with bases of the
// user's choosing. options is the text after "direct", colon included.
// A named base below 0x100 or not a multiple of 4 is refused unless the
// driver lists it: no parallel port can sit there.
std::unique_ptr<PortBackend> OpenDirectPort(std::string_view options,
                                            std::unique_ptr<DirectPortSystem> system,
                                            const std::filesystem::path& sysctlRoot,
                                            std::string& error);

}  // namespace velwin::xchanger
