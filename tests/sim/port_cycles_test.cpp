#include <gtest/gtest.h>

#include "sim/simulated_xchanger.h"
#include "tests/sim/port_driver.h"
#include "tests/sim/sim_test_support.h"

namespace velwin::xchanger::sim {
namespace {

using testing::CartConfig;
using testing::PatternByte;
using testing::PatternRom;
using testing::PortDriver;

constexpr std::uint8_t kLow = 0, kHigh = 1, kMode = 2, kData = 3;

SimulatedXChanger WithCart() {
  return SimulatedXChanger(CartConfig(FlashChip::k16Mbit, PatternRom(8)));
}

// The echo test a cart reader's software runs on one port in one mode:
// clear the time-out flag, reset the mode register, write both address
// registers and read them back, high first.
bool EchoTest(PortIo& io, std::uint16_t base, bool spp) {
  PortDriver port(io, base);
  io.PortWrite(base + 1, 0x01);
  const auto write = [&](std::uint8_t reg, std::uint8_t value) {
    spp ? port.SppWriteRegister(reg, value) : port.EppWriteRegister(reg, value);
  };
  const auto read = [&](std::uint8_t reg) {
    return spp ? port.SppReadRegister(reg) : port.EppReadRegister(reg);
  };
  write(kMode, 0x00);
  write(kMode, 0x80);
  write(kHigh, 0x12);
  write(kLow, 0x34);
  return read(kHigh) == 0x12 && read(kLow) == 0x34;
}

struct Probes {
  bool lpt1Epp, lpt1Spp, lpt2Epp, lpt2Spp;
  bool operator==(const Probes&) const = default;
};

Probes ProbeAll(int lpt, bool otherEcho, LinkModes modes) {
  SimConfig config;
  config.lpt = lpt;
  config.otherEcho = otherEcho;
  config.modes = modes;
  SimulatedXChanger sim(std::move(config));
  return {EchoTest(sim, 0x378, false), EchoTest(sim, 0x378, true), EchoTest(sim, 0x278, false),
          EchoTest(sim, 0x278, true)};
}

TEST(Detection, OnlyTheXChangerPassesTheEchoTestAndOnlyInItsModes) {
  EXPECT_EQ(ProbeAll(2, true, LinkModes::kBoth), (Probes{false, false, true, true}));
  EXPECT_EQ(ProbeAll(2, true, LinkModes::kSppOnly), (Probes{false, false, false, true}));
  EXPECT_EQ(ProbeAll(1, false, LinkModes::kEppOnly), (Probes{true, false, false, false}));
  EXPECT_EQ(ProbeAll(0, true, LinkModes::kBoth), (Probes{false, false, false, false}));
  EXPECT_EQ(ProbeAll(0, false, LinkModes::kBoth), (Probes{false, false, false, false}));
}

TEST(Detection, EchoDeviceRepeatsOnlyTheHighRegister) {
  SimConfig config;
  config.lpt = 2;
  config.otherEcho = true;
  SimulatedXChanger sim(std::move(config));
  PortDriver lpt1(sim, 0x378);
  lpt1.EppWriteRegister(kHigh, 0x12);
  lpt1.SppWriteRegister(kLow, 0x34);
  EXPECT_EQ(lpt1.SppReadRegister(kHigh), 0x12);
  EXPECT_NE(lpt1.EppReadRegister(kLow), 0x34);
  EXPECT_EQ(sim.Registers().addressHigh, 0x00) << "the X-Changer on LPT2 saw nothing";
}

TEST(PortMap, BasesAreFixedAndOtherAddressesReadAsAnEmptyBus) {
  SimulatedXChanger sim{SimConfig{}};
  EXPECT_EQ(sim.ReadLptBase(1), 0x378);
  EXPECT_EQ(sim.ReadLptBase(2), 0x278);
  EXPECT_EQ(sim.ReadLptBase(0), 0);
  EXPECT_EQ(sim.ReadLptBase(3), 0);
  sim.PortWrite(0x378, 0x5A);
  sim.PortWrite(0x278, 0xA5);
  EXPECT_EQ(sim.PortRead(0x378), 0x5A);
  EXPECT_EQ(sim.PortRead(0x278), 0xA5);
  EXPECT_EQ(sim.PortRead(0x3BC), 0xFF);
}

TEST(PortMap, PortWithoutADeviceShowsAConstantStatus) {
  SimConfig config;
  config.lpt = 0;
  SimulatedXChanger sim(std::move(config));
  PortDriver port(sim, 0x278);
  port.EppWriteRegister(kHigh, 0x12);
  for (const std::uint8_t control : {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x09}) {
    port.Control(control);
    EXPECT_EQ(port.Status(), kIdleStatus) << int{control};
  }
}

TEST(EppCycles, ReadWithStrobeStillAssertedDrivesNothing) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.EppWriteRegister(kLow, 0x34);
  port.EppAddress(kLow);
  // Control still 0x01 from the address cycle: nWrite stays low.
  EXPECT_EQ(sim.PortRead(0x37C), 0xFF);
  EXPECT_EQ(port.EppRead(), 0x34);
}

TEST(EppCycles, SppOnlyPortFlagsATimeoutThatWritingOneClears) {
  SimConfig config;
  config.modes = LinkModes::kSppOnly;
  SimulatedXChanger sim(std::move(config));
  PortDriver port(sim, 0x378);
  EXPECT_EQ(port.Status() & 0x01, 0);
  port.EppWriteRegister(kHigh, 0x12);
  EXPECT_EQ(sim.Registers().addressHigh, 0x00);
  EXPECT_EQ(port.Status() & 0x01, 1);
  sim.PortWrite(0x379, 0x00);
  EXPECT_EQ(port.Status() & 0x01, 1);
  sim.PortWrite(0x379, 0x01);
  EXPECT_EQ(port.Status() & 0x01, 0);
}

TEST(SppCycles, NibblesAppearOnStatusBitsThreeToSixOnlyDuringTheReadStrobe) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.SppWriteRegister(kLow, 0xA5);
  port.SppAddress(kLow);
  port.Control(0x00);
  EXPECT_EQ(port.Status() & 0x78, 0x78) << "nothing drives the nibble lines before the strobe";
  port.Control(0x02);
  const std::uint8_t low = port.Status();
  port.Control(0x06);
  const std::uint8_t high = port.Status();
  EXPECT_EQ(low & 0x78, 0x5 << 3);
  EXPECT_EQ(high & 0x78, 0xA << 3);
  EXPECT_EQ(low & 0x87, high & 0x87) << "bits 0-2 and 7 carry no data";
  port.Control(0x00);
  EXPECT_EQ(port.Status() & 0x78, 0x78);
}

TEST(SppCycles, OnlyEdgesOfTheControlLinesMakeCycles) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.SppWriteRegister(kMode, 0x81);
  port.SppWriteRegister(kHigh, 0x00);
  port.SppWriteRegister(kLow, 0x10);
  port.SppAddress(kData);

  // Holding the read strobe, INIT toggling within it, is one cycle: one cart
  // read, and the address steps only when the strobe ends.
  const auto readsBefore = sim.CartBusCounters().reads;
  for (const std::uint8_t control : {0x00, 0x02, 0x02, 0x06, 0x02})
    port.Control(control);
  EXPECT_EQ(sim.Registers().addressLow, 0x10);
  port.Control(0x00);
  port.Control(0x00);
  EXPECT_EQ(sim.CartBusCounters().reads - readsBefore, 1u);
  EXPECT_EQ(sim.Registers().addressLow, 0x11);

  // Ending the strobe between the halves reads two different bytes.
  port.Control(0x02);
  const std::uint8_t low = port.Status();
  port.Control(0x00);
  port.Control(0x06);
  const std::uint8_t high = port.Status();
  EXPECT_EQ((low >> 3) & 0x0F, PatternByte(0, 0x11) & 0x0F);
  EXPECT_EQ((high >> 3) & 0x0F, PatternByte(0, 0x12) >> 4);

  // The data latch is taken when the write strobe comes, not later.
  port.SppAddress(kLow);
  sim.PortWrite(0x378, 0x55);
  port.Control(0x03);
  sim.PortWrite(0x378, 0x66);
  port.Control(0x03);
  port.Control(0x01);
  EXPECT_EQ(sim.Registers().addressLow, 0x55);
}

TEST(DataRegister, ModeDecidesStepAndWhetherTheCartIsReached) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  // Block mode: carry into the high byte, wrap at 0xFFFF.
  port.EppWriteRegister(kMode, 0x81);
  port.EppWriteRegister(kHigh, 0x40);
  port.EppWriteRegister(kLow, 0xFF);
  port.EppAddress(kData);
  EXPECT_EQ(port.EppRead(), PatternByte(1, 0x00FF));
  EXPECT_EQ(port.EppRead(), PatternByte(1, 0x0100));
  port.EppWriteRegister(kHigh, 0xFF);
  port.EppWriteRegister(kLow, 0xFF);
  port.EppAddress(kData);
  port.EppRead();
  EXPECT_EQ(sim.Registers().addressHigh, 0x00);
  EXPECT_EQ(sim.Registers().addressLow, 0x00);
  EXPECT_EQ(port.EppReadRegister(kLow), 0x00) << "no step for other registers";
  EXPECT_EQ(sim.Registers().addressLow, 0x00);

  // Single mode keeps the address.
  port.EppWriteRegister(kMode, 0x80);
  port.EppWriteRegister(kLow, 0x07);
  port.EppAddress(kData);
  port.EppRead();
  EXPECT_EQ(port.EppRead(), PatternByte(0, 7));

  // Idle mode: the cart bus stays quiet.
  const CartCounters before = sim.CartBusCounters();
  port.EppWriteRegister(kMode, 0x00);
  port.EppWriteRegister(kHigh, 0x20);
  port.EppWriteRegister(kData, 0x05);
  EXPECT_EQ(port.EppReadRegister(kData), 0xFF);
  EXPECT_EQ(sim.CartBusCounters().reads, before.reads);
  EXPECT_EQ(sim.CartBusCounters().mapperWrites, before.mapperWrites);
  EXPECT_EQ(sim.RomBank(), 1);

  // Flash-write mode: address register writes stay the X-Changer's own, and
  // every data write is a flash cycle at the latched address, which stays.
  sim.EnableCartTrace(true);
  port.EppWriteRegister(kMode, 0x82);
  port.EppWriteRegister(kHigh, 0x12);
  port.EppWriteRegister(kLow, 0x34);
  port.EppWriteRegister(kData, 0xAA);
  port.EppWriteRegister(kData, 0x55);
  const auto flash = CartBusEvent::Kind::kFlashCommand;
  EXPECT_EQ(sim.CartTrace(),
            (std::vector<CartBusEvent>{{flash, 0x1234, 0xAA}, {flash, 0x1234, 0x55}}));
  EXPECT_EQ(sim.Registers().addressLow, 0x34) << "no step in flash-write mode";
}

// The other reading of flash-write mode: each data cycle steps the latch as
// block mode does, carrying into the high byte; single mode still keeps it.
TEST(DataRegister, FlashWriteModeStepsTheAddressWhenSoConfigured) {
  SimConfig config = CartConfig(FlashChip::k64Mbit, PatternRom(4));
  config.advanceUnderFlashWrite = true;
  SimulatedXChanger sim(config);
  PortDriver port(sim, 0x378);
  sim.EnableCartTrace(true);
  port.EppWriteRegister(kMode, 0x82);
  port.EppWriteRegister(kHigh, 0x12);
  port.EppWriteRegister(kLow, 0xFF);
  port.EppWriteRegister(kData, 0xAA);
  port.EppWriteRegister(kData, 0x55);
  port.EppWriteRegister(kMode, 0x80);
  port.EppWriteRegister(kData, 0x01);
  const auto flash = CartBusEvent::Kind::kFlashCommand;
  ASSERT_GE(sim.CartTrace().size(), 2u);
  EXPECT_EQ(sim.CartTrace()[0], (CartBusEvent{flash, 0x12FF, 0xAA}));
  EXPECT_EQ(sim.CartTrace()[1], (CartBusEvent{flash, 0x1300, 0x55}));
  EXPECT_EQ(sim.Registers().addressHigh, 0x13);
  EXPECT_EQ(sim.Registers().addressLow, 0x01) << "no step in single mode";
}

TEST(Instrumentation, CountsEveryAccessAndTracesOnlyWhenAsked) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.EppWriteRegister(kLow, 0x01);
  EXPECT_EQ(sim.Counters().writes, 4u);
  EXPECT_EQ(sim.Counters().reads, 0u);
  EXPECT_TRUE(sim.PortTrace().empty());

  sim.EnablePortTrace(true);
  sim.EnableCartTrace(true);
  const std::uint8_t byte = PatternByte(0, 0x150);
  EXPECT_EQ(port.CartRead(0x0150), byte);
  const std::vector<PortAccess> tail(sim.PortTrace().end() - 2, sim.PortTrace().end());
  EXPECT_EQ(tail, (std::vector<PortAccess>{{0x37A, true, 0x00}, {0x37C, false, byte}}));
  EXPECT_EQ(sim.CartTrace(),
            (std::vector<CartBusEvent>{{CartBusEvent::Kind::kRead, 0x0150, byte}}));
  sim.ClearTraces();
  EXPECT_TRUE(sim.PortTrace().empty());
  EXPECT_TRUE(sim.CartTrace().empty());
}

}  // namespace
}  // namespace velwin::xchanger::sim
