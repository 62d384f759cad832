#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "port/port_backend.h"
#include "sim/sim_cart.h"
#include "sim/sim_clock.h"
#include "sim/sim_config.h"

namespace velwin::xchanger::sim {

inline constexpr std::uint16_t kLpt1Base = 0x378;
inline constexpr std::uint16_t kLpt2Base = 0x278;

// Status register of a port with nothing attached: the inputs float high
// (BUSY reads inverted, as 0). Constant, so it can never echo a register.
inline constexpr std::uint8_t kIdleStatus = 0x7F;

// One port access, for tests that check the exact sequence a link sends.
struct PortAccess {
  std::uint16_t port;
  bool write;
  std::uint8_t value;

  bool operator==(const PortAccess&) const = default;
};

struct PortCounters {
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
};

// The X-Changer's own registers, as a test may inspect them.
struct XChangerRegisters {
  std::uint8_t selected = 0;  // register chosen by the last address cycle
  std::uint8_t addressLow = 0;
  std::uint8_t addressHigh = 0;
  std::uint8_t mode = 0;
};

// Two PC parallel ports, LPT1 at 0x378 and LPT2 at 0x278, with the
// X-Changer and its cart on one of them (or on neither). The X-Changer is an
// EPP peripheral: the port's EPP hardware runs its address and data cycles,
// or software produces the same cycles on the control lines (nWrite on
// STROBE, data strobe on AUTOFEED, address strobe on SELECT IN) and reads
// bytes back a nibble at a time over the status lines, INIT choosing the
// half. Everything the link does is seen only as port reads and writes.
class SimulatedXChanger final : public PortBackend {
 public:
  explicit SimulatedXChanger(SimConfig config);
  ~SimulatedXChanger() override;
  SimulatedXChanger(const SimulatedXChanger&) = delete;
  SimulatedXChanger& operator=(const SimulatedXChanger&) = delete;

  void PortWrite(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t PortRead(std::uint16_t port) override;
  std::uint16_t ReadLptBase(int n) override;

  // Writes the SRAM back to the configured file when a write changed it,
  // and the flash card's contents to the rom= file when a program or erase
  // changed them. Without a file the contents live in memory only. The
  // destructor writes back as well, after letting the flash chip finish
  // what it has in hand, but cannot report a failure: call Flush first
  // where the user should hear about one.
  bool Flush(std::string& error) override;

  // The simulation's own time: every port access takes the configured
  // time (a microsecond by default), a wait lets the time pass at once.
  ChipClock& Clock() override { return clock_; }
  bool KeepsOwnTime() const override { return true; }
  std::uint64_t NowMicroseconds() const { return clock_.Now(); }

  // The cart's state.
  std::span<const std::uint8_t> Sram() const { return cart_.Sram(); }
  std::uint16_t RomBank() const { return cart_.RomBank(); }
  std::uint8_t SramBank() const { return cart_.SramBank(); }
  bool SramEnabled() const { return cart_.SramEnabled(); }
  ChipMode FlashMode() const { return cart_.Chip().Mode(); }
  // What the flash chip holds and has done: page writes, programs, erases.
  std::span<const std::uint8_t> FlashContents() const { return cart_.Chip().Contents(); }
  const ChipCounters& FlashCounters() const { return cart_.Chip().Counters(); }
  const SimulatedCart& Cart() const { return cart_; }
  const XChangerRegisters& Registers() const { return registers_; }

  // Fault injection: the cart is pulled out after n further cart-bus
  // accesses (0: now). InsertCart puts it back, freshly powered on.
  void RemoveCartAfter(std::uint64_t n) { cart_.RemoveAfter(n); }
  void InsertCart() { cart_.Insert(); }

  // Counters and traces. Tracing is off until enabled.
  const PortCounters& Counters() const { return counters_; }
  const CartCounters& CartBusCounters() const { return cart_.Counters(); }
  void EnablePortTrace(bool on) { portTraceOn_ = on; }
  const std::vector<PortAccess>& PortTrace() const { return portTrace_; }
  void EnableCartTrace(bool on) { cart_.EnableTrace(on); }
  const std::vector<CartBusEvent>& CartTrace() const { return cart_.Trace(); }
  void ClearTraces();

 private:
  enum class Device : std::uint8_t { kNothing, kXChanger, kEcho };
  // The cycle the control lines describe, as a peripheral decodes them.
  enum class Cycle : std::uint8_t { kIdle, kAddressWrite, kDataWrite, kDataRead };

  struct ParallelPort {
    std::uint16_t base = 0;
    Device device = Device::kNothing;
    bool eppAnswers = false;  // the device answers the port's EPP cycles
    bool sppAnswers = false;  // the device answers cycles made on the control lines
    std::uint8_t data = 0;
    std::uint8_t control = 0;
    bool eppTimeout = false;
    Cycle cycle = Cycle::kIdle;
    std::uint8_t readByte = 0xFF;  // the byte of the current software read cycle
    std::uint8_t selected = 0;     // the echo device's register select
    std::uint8_t echo = 0;         // the echo device's one working register
  };

  ParallelPort* PortAt(std::uint16_t port) {
    const std::uint16_t base = port & 0xFFF8;
    if (base == kLpt1Base)
      return &ports_[0];
    if (base == kLpt2Base)
      return &ports_[1];
    return nullptr;
  }
  static std::uint8_t Status(const ParallelPort& p);
  void WriteControl(ParallelPort& p, std::uint8_t value);
  void EppAddressWrite(ParallelPort& p, std::uint8_t value);
  void EppDataWrite(ParallelPort& p, std::uint8_t value);
  std::uint8_t EppDataRead(ParallelPort& p);

  // The device side of the four cycles.
  void SelectRegister(ParallelPort& p, std::uint8_t reg);
  void WriteRegister(ParallelPort& p, std::uint8_t value);
  std::uint8_t ReadRegister(ParallelPort& p);
  void FinishDataCycle(ParallelPort& p);
  // A cart byte as the faulty data lines deliver it.
  std::uint8_t BusFaults(std::uint8_t byte) const;

  std::uint16_t CartAddress() const {
    return static_cast<std::uint16_t>((registers_.addressHigh << 8) | registers_.addressLow);
  }
  bool WriteBack(std::string& error);
  // Counts one port access against a pending unplug.
  void CountAccess();

  std::array<ParallelPort, 2> ports_;
  XChangerRegisters registers_;
  SimulatedClock clock_;  // before the cart, which keeps a reference to it
  SimulatedCart cart_;
  std::string sramPath_;
  std::string romPath_;
  std::size_t romFileBytes_ = 0;  // the rom= file's size when it was loaded

  std::optional<std::uint64_t> unplugAfter_;
  // A stuck data line: the bits every cart read keeps and the bits it sets.
  std::uint8_t readKeep_ = 0xFF;
  std::uint8_t readSet_ = 0x00;
  bool advanceUnderFlashWrite_ = false;
  // Two shorted data lines: the bits that read alike, 0 for none.
  std::uint8_t shortedBits_ = 0x00;

  PortCounters counters_;
  bool portTraceOn_ = false;
  std::vector<PortAccess> portTrace_;
};

}  // namespace velwin::xchanger::sim
