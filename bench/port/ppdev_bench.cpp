// System calls per byte through the ppdev backend, with the simulated
// X-Changer behind a stand-in for the kernel: a whole 4 Mbit card read and
// one 8 KB SRAM bank each way. Two baselines in the same run: the X-Changer
// read block by block (an address latch that does not carry past a block),
// and every access its own system call, as before runs existed.

#include <benchmark/benchmark.h>

#include <memory>
#include <numeric>

#include "tests/port/kernel_over_simulator.h"
#include "xchanger/cart_access.h"

namespace velwin::xchanger {
namespace {

enum Path { kRuns, kBlockByBlock, kByteByByte };

// Hides the backend's runs from the link: one access, one call.
class ByteByBytePort : public PortIo {
 public:
  explicit ByteByBytePort(PortIo& inner) : inner_(inner) {}
  void PortWrite(std::uint16_t port, std::uint8_t value) override { inner_.PortWrite(port, value); }
  std::uint8_t PortRead(std::uint16_t port) override { return inner_.PortRead(port); }
  std::uint16_t ReadLptBase(int n) override { return inner_.ReadLptBase(n); }

 private:
  PortIo& inner_;
};

class FastTicks : public TickCounter {
 public:
  std::uint32_t GetTickCount() override { return now_ += 5; }

 private:
  std::uint32_t now_ = 0;
};

struct Rig {
  explicit Rig(Path path) : x(Config()) {
    auto owned = std::make_unique<KernelOverSimulator>(x);
    kernel = owned.get();
    kernel->latchStopsAtBlockEnd = path == kBlockByBlock;
    std::string error;
    ppdev = OpenPpdevPort("", std::move(owned), error);
    bytewise = std::make_unique<ByteByBytePort>(*ppdev);
    PortIo& io = path == kByteByByte ? static_cast<PortIo&>(*bytewise) : *ppdev;
    link = std::make_unique<XChangerLink>(io, ticks, pump);
    cart = std::make_unique<CartAccess>(*link);
    link->FindXChanger();
    cart->IdentifyFlashCard();
  }
  static sim::SimConfig Config() {
    sim::SimConfig config;
    config.hasCart = true;
    config.card = sim::FlashChip::k4Mbit;
    config.rom.resize(512 * 1024);
    std::iota(config.rom.begin(), config.rom.end(), std::uint8_t{1});
    config.sram.assign(32 * 1024, 0);
    return config;
  }

  sim::SimulatedXChanger x;
  KernelOverSimulator* kernel = nullptr;
  std::unique_ptr<PortBackend> ppdev;
  std::unique_ptr<ByteByBytePort> bytewise;
  FastTicks ticks;
  NoEventPump pump;
  std::unique_ptr<XChangerLink> link;
  std::unique_ptr<CartAccess> cart;
};

void Report(benchmark::State& state, const Rig& rig, double bytes) {
  state.counters["syscallsPerByte"] =
      static_cast<double>(rig.kernel->calls) / (bytes * static_cast<double>(state.iterations()));
  state.counters["bytesPerSyscall"] =
      bytes * static_cast<double>(state.iterations()) / static_cast<double>(rig.kernel->calls);
}

void BM_PpdevCardRead(benchmark::State& state) {
  Rig rig(static_cast<Path>(state.range(0)));
  rig.kernel->calls = 0;
  for (auto _ : state) {
    for (std::uint16_t bank = 0; bank < 32; ++bank)
      rig.cart->ReadMenuDirectory(bank);
  }
  Report(state, rig, 512.0 * 1024);
}
BENCHMARK(BM_PpdevCardRead)->Arg(kRuns)->Arg(kBlockByBlock)->Arg(kByteByByte);

void BM_PpdevSramBank(benchmark::State& state) {
  Rig rig(static_cast<Path>(state.range(0)));
  rig.kernel->calls = 0;
  for (auto _ : state) {
    rig.cart->ReadSramBank(1);
    rig.cart->WriteSramBank(1);
  }
  Report(state, rig, 2 * 8192.0);
}
BENCHMARK(BM_PpdevSramBank)->Arg(kRuns)->Arg(kByteByByte);

}  // namespace
}  // namespace velwin::xchanger

BENCHMARK_MAIN();
