// Kernel calls and port I/Os per loaded byte and per read byte on each way
// to the port, over stand-ins for the kernel's ppdev driver (counting the
// port I/Os it makes itself, as parport_pc does) and for the processor's
// port instructions, with the simulated X-Changer on the cable. Each is
// also given as a ratio to the plain direct path on a plain EPP port.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>

#include "port/direct_port.h"
#include "port/ppdev_port.h"
#include "tests/port/fake_parport.h"
#include "xchanger/cart_access.h"

namespace velwin::xchanger::testing {
namespace {

enum Path { kDirect, kDirectUnderPpdev, kPpdevEpp, kPpdevEcpEpp, kPpdevSpp };

class FastTicks : public TickCounter {
 public:
  std::uint32_t GetTickCount() override { return now_ += 5; }

 private:
  std::uint32_t now_ = 0;
};

sim::SimConfig Config(Path path) {
  sim::SimConfig config;
  config.hasCart = true;
  config.card = sim::FlashChip::k4Mbit;
  config.rom.resize(512 * 1024);
  std::iota(config.rom.begin(), config.rom.end(), std::uint8_t{1});
  config.sram.assign(32 * 1024, 0);
  if (path == kPpdevSpp)
    config.modes = sim::LinkModes::kSppOnly;
  return config;
}

// The parport driver's list for the port at 0x378.
struct Sysctl {
  explicit Sysctl(bool ecp)
      : root(std::filesystem::temp_directory_path() /
             ("velwin-bench-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(root / "parport0");
    std::ofstream(root / "parport0" / "base-addr") << "888\t1912\n";
    std::ofstream(root / "parport0" / "modes")
        << (ecp ? "PCSPP,TRISTATE,COMPAT,EPP,ECP\n" : "PCSPP,TRISTATE,COMPAT,EPP\n");
  }
  ~Sysctl() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  std::filesystem::path root;
};

struct Rig {
  explicit Rig(Path path)
      : x(Config(path)), port(x, path == kPpdevEcpEpp), sysctl(path == kPpdevEcpEpp) {
    port.logging = false;
    std::string error;
    if (path == kDirect) {
      backend = OpenDirectPort("", std::make_unique<FakeCpu>(port, true), sysctl.root, error);
    } else {
      backend = OpenPpdevPort("", std::make_unique<FakeKernel>(port),
                              std::make_unique<FakeCpu>(port, path == kDirectUnderPpdev),
                              sysctl.root, error);
    }
    link = std::make_unique<XChangerLink>(*backend, ticks, pump);
    cart = std::make_unique<CartAccess>(*link);
    link->FindXChanger();
    cart->IdentifyFlashCard();
    port.kernelCalls = 0;
    port.portIos = 0;
  }

  sim::SimulatedXChanger x;
  FakeParport port;
  Sysctl sysctl;
  std::unique_ptr<PortBackend> backend;
  FastTicks ticks;
  NoEventPump pump;
  std::unique_ptr<XChangerLink> link;
  std::unique_ptr<CartAccess> cart;
};

// A page load's byte: the address register, then the data cycle, with the
// write direction held.
void LoadBytes(XChangerLink& link, int bytes) {
  link.SetControl(0x01);
  for (int i = 0; i < bytes; ++i) {
    link.WriteRegisterHeld(AddrLowReg, static_cast<std::uint8_t>(i));
    link.WriteRegisterHeld(DataReg, static_cast<std::uint8_t>(i));
  }
}

void ReadCard(CartAccess& cart) {
  for (std::uint16_t bank = 0; bank < 32; ++bank)
    cart.ReadMenuDirectory(bank);
}

// Port I/Os per byte of the plain direct path, for the ratios.
double DirectIosPerByte(bool load) {
  Rig rig(kDirect);
  if (load)
    LoadBytes(*rig.link, 4096);
  else
    ReadCard(*rig.cart);
  return static_cast<double>(rig.port.portIos) / (load ? 4096.0 : 512.0 * 1024);
}

void Report(benchmark::State& state, const Rig& rig, double bytes, double directIos) {
  const double total = bytes * static_cast<double>(state.iterations());
  const double ios = static_cast<double>(rig.port.portIos) / total;
  state.counters["callsPerByte"] = static_cast<double>(rig.port.kernelCalls) / total;
  state.counters["portIosPerByte"] = ios;
  state.counters["portIosVsDirect"] = ios / directIos;
}

void BM_LoadedByte(benchmark::State& state) {
  static const double direct = DirectIosPerByte(true);
  Rig rig(static_cast<Path>(state.range(0)));
  for (auto _ : state)
    LoadBytes(*rig.link, 4096);
  Report(state, rig, 4096, direct);
}
BENCHMARK(BM_LoadedByte)
    ->ArgName("path")
    ->Arg(kDirect)
    ->Arg(kDirectUnderPpdev)
    ->Arg(kPpdevEpp)
    ->Arg(kPpdevEcpEpp)
    ->Arg(kPpdevSpp);

void BM_ReadByte(benchmark::State& state) {
  static const double direct = DirectIosPerByte(false);
  Rig rig(static_cast<Path>(state.range(0)));
  for (auto _ : state)
    ReadCard(*rig.cart);
  Report(state, rig, 512.0 * 1024, direct);
}
BENCHMARK(BM_ReadByte)
    ->ArgName("path")
    ->Arg(kDirect)
    ->Arg(kDirectUnderPpdev)
    ->Arg(kPpdevEpp)
    ->Arg(kPpdevEcpEpp)
    ->Arg(kPpdevSpp)
    ->Iterations(2);

}  // namespace
}  // namespace velwin::xchanger::testing

BENCHMARK_MAIN();
