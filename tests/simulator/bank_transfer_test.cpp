#include <gtest/gtest.h>

#include <vector>

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

struct ProbeResults {
  bool lpt1Epp, lpt1Spp, lpt2Epp, lpt2Spp;
  bool operator==(const ProbeResults&) const = default;
};

ProbeResults ProbeAll(SimConfig config) {
  SimulatedXChanger sim(std::move(config));
  return {EchoTest(sim, 0x378, false), EchoTest(sim, 0x378, true), EchoTest(sim, 0x278, false),
          EchoTest(sim, 0x278, true)};
}

TEST(Detection, OnlyTheXChangerPassesTheEchoTestAndOnlyInItsModes) {
  SimConfig config;
  config.lpt = 2;
  config.otherEcho = true;
  EXPECT_EQ(ProbeAll(config), (ProbeResults{false, false, true, true}));
  config.modes = LinkModes::kSppOnly;
  EXPECT_EQ(ProbeAll(config), (ProbeResults{false, false, false, true}));
  config.modes = LinkModes::kEppOnly;
  config.lpt = 1;
  EXPECT_EQ(ProbeAll(config), (ProbeResults{true, false, false, false}));
  config.lpt = 0;
  config.modes = LinkModes::kBoth;
  EXPECT_EQ(ProbeAll(config), (ProbeResults{false, false, false, false}));
  config.otherEcho = false;
  EXPECT_EQ(ProbeAll(config), (ProbeResults{false, false, false, false}));
}

class BankTransfer : public ::testing::TestWithParam<bool> {
 protected:
  BankTransfer() : sim_(CartConfig(FlashChip::k16Mbit, PatternRom(8))), port_(sim_, 0x378) {}

  bool Spp() const { return GetParam(); }
  void Write(std::uint8_t reg, std::uint8_t value) {
    Spp() ? port_.SppWriteRegister(reg, value) : port_.EppWriteRegister(reg, value);
  }
  void CartWrite(std::uint16_t address, std::uint8_t value) {
    Write(kMode, 0x80);
    Write(kLow, static_cast<std::uint8_t>(address & 0xFF));
    Write(kHigh, static_cast<std::uint8_t>(address >> 8));
    Write(kData, value);
  }
  // One 256-byte block in block mode from a cart address.
  void StartBlock(std::uint16_t address) {
    Write(kHigh, static_cast<std::uint8_t>(address >> 8));
    Write(kLow, static_cast<std::uint8_t>(address & 0xFF));
    Write(kMode, 0x81);
    Spp() ? port_.SppAddress(kData) : port_.EppAddress(kData);
  }
  std::uint8_t NextByte() { return Spp() ? port_.SppRead() : port_.EppRead(); }
  void PutByte(std::uint8_t value) {
    if (Spp()) {
      port_.SppWrite(value);
    } else {
      sim_.PortWrite(0x37C, value);
    }
  }

  SimulatedXChanger sim_;
  PortDriver port_;
};

TEST_P(BankTransfer, TheSramEnableSequenceLeavesTheSramUntouched) {
  // The mapper writes a cart reader sends before each SRAM transfer: the
  // two SRAM-area writes fall while the SRAM is disabled by 0xC0.
  const std::vector<std::uint8_t> before(sim_.Sram().begin(), sim_.Sram().end());
  CartWrite(0x0000, 0x0A);
  CartWrite(0x0000, 0xC0);
  CartWrite(0xA000, 0xA0);
  CartWrite(0xA100, 0xC0);
  CartWrite(0x0000, 0x0A);
  EXPECT_TRUE(sim_.SramEnabled());
  EXPECT_TRUE(std::equal(before.begin(), before.end(), sim_.Sram().begin()));
  EXPECT_FALSE(sim_.Cart().SramChanged());
}

TEST_P(BankTransfer, WholeSramBankRoundTrips) {
  CartWrite(0x0000, 0x0A);
  CartWrite(0x4000, 9);
  std::vector<std::uint8_t> read;
  for (int block = 0; block < 32; ++block) {
    StartBlock(static_cast<std::uint16_t>(0xA000 + block * 0x100));
    if (!Spp())
      port_.Control(0x00);
    for (int i = 0; i < 256; ++i)
      read.push_back(NextByte());
  }
  EXPECT_TRUE(std::equal(read.begin(), read.end(), sim_.Sram().begin() + 9 * 0x2000));

  for (int block = 0; block < 32; ++block) {
    StartBlock(static_cast<std::uint16_t>(0xA000 + block * 0x100));
    port_.Control(0x01);
    for (int i = 0; i < 256; ++i)
      PutByte(static_cast<std::uint8_t>(~read[block * 256 + i]));
  }
  for (std::size_t i = 0; i < 0x2000; ++i) {
    ASSERT_EQ(sim_.Sram()[9 * 0x2000 + i], static_cast<std::uint8_t>(~read[i])) << i;
  }
  EXPECT_NE(sim_.Sram()[8 * 0x2000 + 0x1FFF], static_cast<std::uint8_t>(~read[0x1FFF]));
}

TEST_P(BankTransfer, HeaderOfAnyBankIsReadFrom0x4000) {
  CartWrite(0x2000, 6);
  CartWrite(0x3000, 0);
  StartBlock(0x4100);
  if (!Spp())
    port_.Control(0x00);
  for (int i = 0; i < 0x50; ++i)
    ASSERT_EQ(NextByte(), PatternByte(6, 0x100 + i)) << i;
}

INSTANTIATE_TEST_SUITE_P(BothModes, BankTransfer, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Spp" : "Epp"; });

}  // namespace
}  // namespace velwin::xchanger::sim
