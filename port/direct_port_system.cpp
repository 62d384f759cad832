#include "port/direct_port_system.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define VELWIN_HAVE_PORT_INSTRUCTIONS 1
#endif

namespace velwin::xchanger {

#ifdef VELWIN_HAVE_PORT_INSTRUCTIONS

namespace {

constexpr int kCapSysRawIo = 17;

class X86PortSystem : public DirectPortSystem {
 public:
  int Ioperm(std::uint16_t from, unsigned count, bool on) override {
    return ioperm(from, count, on ? 1 : 0) == 0 ? 0 : errno;
  }
  void Outb(std::uint16_t port, std::uint8_t value) override { outb(value, port); }
  std::uint8_t Inb(std::uint16_t port) override { return inb(port); }

  bool HasRawIo() override {
    // The effective capability set, as the kernel reports it for us.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("CapEff:", 0) == 0) {
        std::istringstream hex(line.substr(7));
        unsigned long long caps = 0;
        hex >> std::hex >> caps;
        return (caps >> kCapSysRawIo) & 1u;
      }
    }
    return false;
  }

  std::string Lockdown() override {
    std::ifstream in("/sys/kernel/security/lockdown");
    std::string text;
    std::getline(in, text);
    return text;
  }
};

}  // namespace

std::unique_ptr<DirectPortSystem> MakeDirectPortSystem() {
  return std::make_unique<X86PortSystem>();
}

#else

std::unique_ptr<DirectPortSystem> MakeDirectPortSystem() {
  return nullptr;
}

#endif

}  // namespace velwin::xchanger
