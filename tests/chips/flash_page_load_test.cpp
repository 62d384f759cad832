#include "chips/flash_page_load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "chips/flash_driver.h"
#include "sim/simulated_xchanger.h"
#include "tests/port/recording_port.h"

namespace velwin::xchanger {
namespace {

using sim::FlashChip;
using testing::CountingPump;
using testing::SteppingTicks;

constexpr std::uint32_t kBank = 0x4000;

// Passes every access on to the simulated X-Changer and notes, for each
// flash write cycle that reaches the cart, how many accesses went before.
class FlashCycleCounter : public PortIo {
 public:
  explicit FlashCycleCounter(sim::SimulatedXChanger& sim) : sim_(sim) {}
  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    ++accesses_;
    sim_.PortWrite(port, value);
    if (sim_.CartBusCounters().flashCommands != seen_) {
      seen_ = sim_.CartBusCounters().flashCommands;
      cycleAt.push_back(accesses_);
      cycleUs.push_back(sim_.NowMicroseconds());
      // The machine stops right after that cycle, before the writer looks
      // at its clock again.
      if (cycleAt.size() == pauseAfterCycle)
        sim_.Clock().WaitMicroseconds(pauseUs);
    }
  }
  std::uint8_t PortRead(std::uint16_t port) override {
    ++accesses_;
    const std::uint8_t value = sim_.PortRead(port);
    if (port == 0x37C)
      eppReadUs.push_back(sim_.NowMicroseconds());
    return value;
  }
  std::uint16_t ReadLptBase(int n) override { return sim_.ReadLptBase(n); }
  std::vector<std::uint64_t> cycleAt;
  std::vector<std::uint64_t> cycleUs;    // simulated time of each flash write cycle
  std::vector<std::uint64_t> eppReadUs;  // and of each EPP data read
  std::size_t pauseAfterCycle = 0;       // 1 for the first flash write cycle
  std::uint64_t pauseUs = 0;

 private:
  sim::SimulatedXChanger& sim_;
  std::uint64_t accesses_ = 0;
  std::uint64_t seen_ = 0;
};

// A simulated X-Changer with a card, its flash write cycles counted, and
// the cart reached through it.
struct LoadRig {
  explicit LoadRig(const sim::SimConfig& config) : sim(config), port(sim) {}
  sim::SimulatedXChanger sim;
  FlashCycleCounter port;
  SteppingTicks ticks{0};
  CountingPump pump;
  XChangerLink link{port, ticks, pump};
  CartAccess cart{link};
};

// A page load over either mode: the bank registers written once for the
// page's bytes, the commands' own banks aside (the 4 Mbit chip's commands
// need an odd bank, so a page in an even bank gets its own after them), every byte in 4 port
// accesses over EPP and 12 over SPP, and the page on the chip as loaded.
TEST(PageLoad, EachChipLoadsAByteInFourAccessesOverEppAndTwelveOverSpp) {
  const struct {
    FlashChip card;
    std::uint8_t mbit;
    std::size_t closing;  // flash cycles after the data: Intel's D0, Macronix's reset
    std::size_t mapperWrites;
  } cases[] = {
      {FlashChip::k4Mbit, 4, 0, 3}, {FlashChip::k16Mbit, 16, 3, 7}, {FlashChip::k64Mbit, 64, 1, 2}};
  for (const auto& c : cases) {
    for (const auto modes : {sim::LinkModes::kEppOnly, sim::LinkModes::kSppOnly}) {
      SCOPED_TRACE(int{c.mbit});
      const FlashChipSpec& chip = *FlashChipForCard(c.mbit);
      sim::SimConfig config;
      config.hasCart = true;
      config.card = c.card;
      config.modes = modes;
      LoadRig rig(config);
      ASSERT_TRUE(rig.link.FindXChanger());
      sim::SimulatedXChanger& sim = rig.sim;
      FlashCycleCounter& port = rig.port;
      const auto driver = MakeFlashDriver(chip, rig.cart, sim.Clock());
      std::vector<std::uint8_t> bytes(chip.programUnitBytes);
      for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
      const std::uint32_t address = 6 * kBank + 3 * chip.programUnitBytes;  // an even bank
      const std::uint64_t mapperBefore = sim.CartBusCounters().mapperWrites;
      port.cycleAt.clear();
      const FlashOutcome outcome = driver->Program(address, bytes);
      EXPECT_TRUE(outcome.Ok() && !outcome.cut);
      EXPECT_EQ(sim.CartBusCounters().mapperWrites - mapperBefore, c.mapperWrites);
      const std::size_t last = port.cycleAt.size() - 1 - c.closing;
      const std::uint64_t perByte = modes == sim::LinkModes::kEppOnly ? 4 : 12;
      for (std::size_t i = last + 2 - bytes.size(); i <= last; ++i)
        ASSERT_EQ(port.cycleAt[i] - port.cycleAt[i - 1], perByte) << "byte " << i;
      sim.Clock().WaitMicroseconds(100'000);
      driver->ReadArrayMode();
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), sim.FlashContents().begin() + address));
    }
  }
}

}  // namespace
}  // namespace velwin::xchanger

namespace velwin::xchanger {
namespace {

// The gap from the page command to a page's first byte, on both kinds of
// bank (the 4 Mbit command needs an odd bank, the 16 Mbit one a bank that is
// 2 modulo 4), with the address set for every byte whether or not the
// X-Changer steps it: never longer than the chip table's longest gap, which
// the link's check counts.
TEST(PageLoad, FirstByteFollowsTheCommandWithinTheTablesLongestGap) {
  for (const auto card : {FlashChip::k4Mbit, FlashChip::k16Mbit}) {
    for (const bool advance : {false, true}) {
      for (const std::uint32_t bank : {5u, 6u}) {
        const FlashChipSpec& chip = *FlashChipForCard(card == FlashChip::k4Mbit ? 4 : 16);
        SCOPED_TRACE(std::string(chip.name) + " bank " + std::to_string(bank) +
                     (advance ? " stepping" : ""));
        sim::SimConfig config;
        config.hasCart = true;
        config.card = card;
        config.modes = sim::LinkModes::kEppOnly;
        config.advanceUnderFlashWrite = advance;
        LoadRig rig(config);
        ASSERT_TRUE(rig.link.FindXChanger());
        sim::SimulatedXChanger& sim = rig.sim;
        FlashCycleCounter& port = rig.port;
        const auto driver = MakeFlashDriver(chip, rig.cart, sim.Clock());
        // The bank's last page: its last byte at 0x7FFF, where a stepped
        // address would leave the ROM.
        const std::uint32_t address = (bank + 1) * kBank - chip.programUnitBytes;
        const std::vector<std::uint8_t> bytes(chip.programUnitBytes, 0x5A);
        port.cycleAt.clear();
        port.cycleUs.clear();
        port.eppReadUs.clear();
        const FlashOutcome outcome = driver->Program(address, bytes);
        EXPECT_TRUE(outcome.Ok() && !outcome.cut);
        const std::size_t first = 3;  // after AA, 55 and the command
        EXPECT_LE(port.cycleAt[first] - port.cycleAt[first - 1], chip.loadGapBytes * 4);
        // The page's first status or toggle read: not before the chip can
        // have begun (the 16 Mbit chip 30 to 100 us after the last byte,
        // read no sooner than 150 us after it).
        const std::uint64_t lastByteUs = port.cycleUs[first + bytes.size() - 1];
        const auto read = std::find_if(port.eppReadUs.begin(), port.eppReadUs.end(),
                                       [lastByteUs](std::uint64_t us) { return us > lastByteUs; });
        ASSERT_NE(read, port.eppReadUs.end());
        EXPECT_GE(*read - lastByteUs, card == FlashChip::k16Mbit ? 150u : chip.byteLoadWindowUs);
        sim.Clock().WaitMicroseconds(100'000);
        driver->ReadArrayMode();
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), sim.FlashContents().begin() + address));
      }
    }
  }
}

// A pause right after the page command, before the writer reads its clock
// again, is in the gap to the first byte: the load is known to be cut.
TEST(PageLoad, APauseJustAfterTheCommandCutsTheLoad) {
  for (const auto card : {FlashChip::k4Mbit, FlashChip::k16Mbit}) {
    const FlashChipSpec& chip = *FlashChipForCard(card == FlashChip::k4Mbit ? 4 : 16);
    SCOPED_TRACE(chip.name);
    sim::SimConfig config;
    config.hasCart = true;
    config.card = card;
    LoadRig rig(config);
    ASSERT_TRUE(rig.link.FindXChanger());
    sim::SimulatedXChanger& sim = rig.sim;
    FlashCycleCounter& port = rig.port;
    const auto driver = MakeFlashDriver(chip, rig.cart, sim.Clock());
    port.pauseAfterCycle = 3;  // AA, 55, the command
    port.pauseUs = chip.byteLoadWindowUs + 50;
    EXPECT_TRUE(driver->Program(5 * kBank, std::vector<std::uint8_t>(16, 0x5A)).cut);
  }
}

}  // namespace
}  // namespace velwin::xchanger
