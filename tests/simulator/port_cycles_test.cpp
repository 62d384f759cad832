#include <gtest/gtest.h>

#include "tests/simulator/port_driver.h"
#include "tests/simulator/sim_test_support.h"
#include "xchanger/sim/simulated_xchanger.h"

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

TEST(PortMap, BothPortsExistAndOnlyTheirAddressesAnswer) {
  SimulatedXChanger sim{SimConfig{}};
  EXPECT_EQ(sim.ReadLptBase(1), 0x378);
  EXPECT_EQ(sim.ReadLptBase(2), 0x278);
  EXPECT_EQ(sim.ReadLptBase(0), 0);
  EXPECT_EQ(sim.ReadLptBase(3), 0);

  // The data latch of each port reads back what was written; addresses
  // outside the two ports read as an empty bus.
  sim.PortWrite(0x378, 0x5A);
  sim.PortWrite(0x278, 0xA5);
  sim.PortWrite(0x3BC, 0x11);
  EXPECT_EQ(sim.PortRead(0x378), 0x5A);
  EXPECT_EQ(sim.PortRead(0x278), 0xA5);
  EXPECT_EQ(sim.PortRead(0x3BC), 0xFF);
  EXPECT_EQ(sim.PortRead(0x37F), 0xFF);
}

TEST(EppCycles, AddressRegistersReadBackOnTheXChangerPortOnly) {
  SimConfig config;
  config.lpt = 2;
  SimulatedXChanger sim(std::move(config));
  PortDriver lpt2(sim, 0x278);
  PortDriver lpt1(sim, 0x378);

  lpt2.EppWriteRegister(kHigh, 0x12);
  lpt2.EppWriteRegister(kLow, 0x34);
  lpt2.EppWriteRegister(kMode, 0x81);
  EXPECT_EQ(lpt2.EppReadRegister(kHigh), 0x12);
  EXPECT_EQ(lpt2.EppReadRegister(kLow), 0x34);
  EXPECT_EQ(lpt2.EppReadRegister(kMode), 0x81);
  EXPECT_EQ(sim.Registers().addressHigh, 0x12);

  lpt1.EppWriteRegister(kHigh, 0x12);
  EXPECT_EQ(lpt1.EppReadRegister(kHigh), 0xFF);
}

TEST(EppCycles, ReadWithStrobeStillAssertedDrivesNothing) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.EppWriteRegister(kLow, 0x34);
  port.EppAddress(kLow);
  // Control still 0x01 from the address cycle: the X-Changer stays in the
  // write direction.
  EXPECT_EQ(sim.PortRead(0x37C), 0xFF);
  EXPECT_EQ(port.EppRead(), 0x34);
}

TEST(SppCycles, WriteAndReadEveryRegisterOverTheControlLines) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.SppWriteRegister(kHigh, 0x12);
  port.SppWriteRegister(kLow, 0x34);
  port.SppWriteRegister(kMode, 0x80);
  EXPECT_EQ(port.SppReadRegister(kHigh), 0x12);
  EXPECT_EQ(port.SppReadRegister(kLow), 0x34);
  EXPECT_EQ(port.SppReadRegister(kMode), 0x80);
  // DataReg reads the cart at 0x1234 (bank 0).
  EXPECT_EQ(port.SppReadRegister(kData), PatternByte(0, 0x1234));
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
  EXPECT_EQ((low >> 3) & 0x0F, 0x5);
  EXPECT_EQ((high >> 3) & 0x0F, 0xA);
  // Bits 0-2 and 7 are not part of the nibble and must not change with it.
  EXPECT_EQ(low & 0x87, high & 0x87);
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

  // Holding the read strobe (and toggling INIT within it) is one cycle: one
  // cart read and one step of the address.
  const auto readsBefore = sim.CartBusCounters().reads;
  port.Control(0x00);
  port.Control(0x02);
  port.Control(0x02);
  port.Control(0x06);
  port.Control(0x02);
  EXPECT_EQ(sim.Registers().addressLow, 0x10) << "the address steps only when the strobe ends";
  port.Control(0x00);
  port.Control(0x00);
  EXPECT_EQ(sim.CartBusCounters().reads - readsBefore, 1u);
  EXPECT_EQ(sim.Registers().addressLow, 0x11);

  // A data value placed after the write strobe is not what gets written.
  port.SppAddress(kLow);
  sim.PortWrite(0x378, 0x55);
  port.Control(0x03);
  sim.PortWrite(0x378, 0x66);
  port.Control(0x03);
  port.Control(0x01);
  EXPECT_EQ(sim.Registers().addressLow, 0x55);
}

TEST(SppCycles, ReadingBothNibblesAcrossTwoStrobesMixesTwoBytes) {
  // A link that ends the strobe between the two halves reads two cart bytes.
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.SppWriteRegister(kMode, 0x81);
  port.SppWriteRegister(kHigh, 0x00);
  port.SppWriteRegister(kLow, 0x00);
  port.SppAddress(kData);
  port.Control(0x02);
  const std::uint8_t low = port.Status();
  port.Control(0x00);
  port.Control(0x06);
  const std::uint8_t high = port.Status();
  port.Control(0x00);
  EXPECT_EQ((low >> 3) & 0x0F, PatternByte(0, 0) & 0x0F);
  EXPECT_EQ((high >> 3) & 0x0F, PatternByte(0, 1) >> 4);
}

TEST(BlockMode, DataCyclesStepTheAddressWithCarryAndWrap) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.EppWriteRegister(kMode, 0x81);
  port.EppWriteRegister(kHigh, 0x40);
  port.EppWriteRegister(kLow, 0xFE);
  port.EppAddress(kData);
  // Bank 1 is switched in at power-on.
  EXPECT_EQ(port.EppRead(), PatternByte(1, 0x00FE));
  EXPECT_EQ(port.EppRead(), PatternByte(1, 0x00FF));
  EXPECT_EQ(port.EppRead(), PatternByte(1, 0x0100));
  EXPECT_EQ(sim.Registers().addressHigh, 0x41);
  EXPECT_EQ(sim.Registers().addressLow, 0x01);

  port.EppWriteRegister(kHigh, 0xFF);
  port.EppWriteRegister(kLow, 0xFF);
  port.EppAddress(kData);
  port.EppRead();
  EXPECT_EQ(sim.Registers().addressHigh, 0x00);
  EXPECT_EQ(sim.Registers().addressLow, 0x00);

  // Register reads and writes other than DataReg never step the address.
  port.EppWriteRegister(kLow, 0x20);
  port.EppReadRegister(kLow);
  EXPECT_EQ(sim.Registers().addressLow, 0x20);
}

TEST(BlockMode, SingleModeKeepsTheAddressAndIdleModeLeavesTheCartAlone) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.EppWriteRegister(kMode, 0x80);
  port.EppWriteRegister(kHigh, 0x00);
  port.EppWriteRegister(kLow, 0x07);
  port.EppAddress(kData);
  EXPECT_EQ(port.EppRead(), PatternByte(0, 7));
  EXPECT_EQ(port.EppRead(), PatternByte(0, 7));
  EXPECT_EQ(sim.Registers().addressLow, 0x07);

  const auto before = sim.CartBusCounters();
  port.EppWriteRegister(kMode, 0x00);
  port.EppWriteRegister(kHigh, 0x20);  // would select ROM bank 5 if it reached the cart
  port.EppWriteRegister(kData, 0x05);
  EXPECT_EQ(port.EppReadRegister(kData), 0xFF);
  EXPECT_EQ(sim.CartBusCounters().reads, before.reads);
  EXPECT_EQ(sim.CartBusCounters().mapperWrites, before.mapperWrites);
  EXPECT_EQ(sim.RomBank(), 1);
}

TEST(OtherDevices, EchoDeviceAnswersTheHighRegisterButNotTheLowOne) {
  SimConfig config;
  config.lpt = 2;
  config.otherEcho = true;
  SimulatedXChanger sim(std::move(config));
  PortDriver lpt1(sim, 0x378);

  lpt1.EppWriteRegister(kHigh, 0x12);
  lpt1.EppWriteRegister(kLow, 0x34);
  EXPECT_EQ(lpt1.EppReadRegister(kHigh), 0x12);
  EXPECT_NE(lpt1.EppReadRegister(kLow), 0x34);

  lpt1.SppWriteRegister(kHigh, 0x12);
  lpt1.SppWriteRegister(kLow, 0x34);
  EXPECT_EQ(lpt1.SppReadRegister(kHigh), 0x12);
  EXPECT_NE(lpt1.SppReadRegister(kLow), 0x34);

  // The X-Changer on LPT2 keeps its own registers.
  PortDriver lpt2(sim, 0x278);
  EXPECT_EQ(lpt2.EppReadRegister(kHigh), 0x00);
}

TEST(OtherDevices, PortWithoutADeviceShowsAConstantIdleStatus) {
  SimConfig config;
  config.lpt = 0;
  SimulatedXChanger sim(std::move(config));
  for (const std::uint16_t base : {0x378, 0x278}) {
    PortDriver port(sim, base);
    port.SppWriteRegister(kHigh, 0x12);
    for (const std::uint8_t control : {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x09}) {
      port.Control(control);
      EXPECT_EQ(port.Status(), kIdleStatus) << "control " << int{control};
    }
    EXPECT_NE(port.SppReadRegister(kHigh), 0x12);
    port.EppWriteRegister(kHigh, 0x12);
    EXPECT_EQ(port.EppReadRegister(kHigh), 0xFF);
  }
}

TEST(LinkModes, SppOnlyPortIgnoresEppCyclesAndFlagsTheTimeout) {
  SimConfig config;
  config.modes = LinkModes::kSppOnly;
  SimulatedXChanger sim(std::move(config));
  PortDriver port(sim, 0x378);
  EXPECT_EQ(port.Status() & 0x01, 0);
  port.EppWriteRegister(kHigh, 0x12);
  EXPECT_EQ(port.EppReadRegister(kHigh), 0xFF);
  EXPECT_EQ(sim.Registers().addressHigh, 0x00);
  EXPECT_EQ(port.Status() & 0x01, 1);
  sim.PortWrite(0x379, 0x01);
  EXPECT_EQ(port.Status() & 0x01, 0);

  port.SppWriteRegister(kHigh, 0x12);
  EXPECT_EQ(port.SppReadRegister(kHigh), 0x12);
}

TEST(LinkModes, EppOnlyPortIgnoresTheControlLineCycles) {
  SimConfig config;
  config.modes = LinkModes::kEppOnly;
  SimulatedXChanger sim(std::move(config));
  PortDriver port(sim, 0x378);
  port.SppWriteRegister(kHigh, 0x12);
  EXPECT_EQ(sim.Registers().addressHigh, 0x00);
  EXPECT_EQ(port.SppReadRegister(kHigh), 0xFF);
  port.EppWriteRegister(kHigh, 0x12);
  EXPECT_EQ(port.EppReadRegister(kHigh), 0x12);
}

TEST(Instrumentation, CountsEveryAccessAndTracesOnlyWhenAsked) {
  SimulatedXChanger sim = WithCart();
  PortDriver port(sim, 0x378);
  port.EppWriteRegister(kLow, 0x01);  // two control writes, two EPP writes
  EXPECT_EQ(sim.Counters().writes, 4u);
  EXPECT_EQ(sim.Counters().reads, 0u);
  EXPECT_TRUE(sim.PortTrace().empty());

  sim.EnablePortTrace(true);
  sim.EnableCartTrace(true);
  EXPECT_EQ(port.CartRead(0x0150), PatternByte(0, 0x150));
  const std::vector<PortAccess> tail(sim.PortTrace().end() - 2, sim.PortTrace().end());
  EXPECT_EQ(tail,
            (std::vector<PortAccess>{{0x37A, true, 0x00}, {0x37C, false, PatternByte(0, 0x150)}}));
  ASSERT_EQ(sim.CartTrace().size(), 1u);
  EXPECT_EQ(sim.CartTrace()[0],
            (CartBusEvent{CartBusEvent::Kind::kRead, 0x0150, PatternByte(0, 0x150)}));
  EXPECT_EQ(sim.Counters().reads, 1u);

  sim.ClearTraces();
  EXPECT_TRUE(sim.PortTrace().empty());
  EXPECT_TRUE(sim.CartTrace().empty());
}

}  // namespace
}  // namespace velwin::xchanger::sim
