#include "xchanger/link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "chips/flash_chip_table.h"
#include "chips/link_timing.h"
#include "sim/simulated_xchanger.h"
#include "tests/port/recording_port.h"

namespace velwin::xchanger {
namespace {

using testing::CountingPump;
using testing::PortAccess;
using testing::R;
using testing::RecordingPort;
using testing::SteppingTicks;
using testing::W;

constexpr std::uint16_t kBase = 0x378;
constexpr std::uint16_t D = kBase, S = kBase + 1, C = kBase + 2, EA = kBase + 3, ED = kBase + 4;

// Configures the link for kBase in a mode by a probe that finds nothing,
// then forgets what that probe sent.
class LinkTrace : public ::testing::Test {
 protected:
  void Configure(std::uint8_t mode) {
    link_.ProbePort(kBase, mode);
    port_.trace.clear();
  }
  std::vector<PortAccess> SppRegister(std::uint8_t reg, std::uint8_t value) {
    return {W(C, 1), W(D, reg), W(C, 9), W(C, 1), W(D, value), W(C, 3), W(C, 1)};
  }
  std::vector<PortAccess> EppRegister(std::uint8_t reg, std::uint8_t value) {
    return {W(C, 1), W(EA, reg), W(C, 1), W(ED, value)};
  }

  RecordingPort port_;
  SteppingTicks ticks_{0};
  CountingPump pump_;
  XChangerLink link_{port_, ticks_, pump_};
};

TEST_F(LinkTrace, SppCyclesDriveTheControlLines) {
  Configure(kLinkModeSpp);
  EXPECT_EQ(link_.Ports(), (LinkPorts{D, S, C, EA, ED}));

  link_.WriteRegister(ModeReg, 0x80);
  EXPECT_EQ(port_.trace, SppRegister(ModeReg, 0x80));

  port_.trace.clear();
  link_.SelectRegister(DataReg);
  link_.SetControl(0x00);
  EXPECT_EQ(port_.trace,
            (std::vector<PortAccess>{W(C, 1), W(C, 1), W(D, 3), W(C, 9), W(C, 1), W(C, 0)}));

  port_.trace.clear();
  link_.WriteData(0x5A);
  EXPECT_EQ(port_.trace, (std::vector<PortAccess>{W(D, 0x5A), W(C, 3), W(C, 1)}));

  port_.trace.clear();
  port_.reads[S] = {0x40, 0x08};
  EXPECT_EQ(link_.ReadData(), 0x18);
  EXPECT_EQ(port_.trace,
            (std::vector<PortAccess>{W(C, 0), W(C, 2), R(S, 0x40), W(C, 6), R(S, 0x08), W(C, 0)}));
}

TEST_F(LinkTrace, SppReadAssemblesNibblesFromStatusBits3To6) {
  Configure(kLinkModeSpp);
  struct Case {
    std::uint8_t low, high, expected;
  };
  for (const Case c : {Case{0x78, 0x00, 0x0F}, Case{0x00, 0x78, 0xF0}, Case{0x87, 0x87, 0x00},
                       Case{0xFF, 0xFF, 0xFF}, Case{0x08, 0x40, 0x81}}) {
    port_.reads[S] = {c.low, c.high};
    EXPECT_EQ(link_.SppReadData(), c.expected)
        << std::hex << "low " << int{c.low} << " high " << int{c.high};
  }
}

TEST_F(LinkTrace, EppCyclesUseTheEppRegisters) {
  Configure(kLinkModeEpp);
  link_.WriteRegister(AddrHighReg, 0x12);
  EXPECT_EQ(port_.trace, EppRegister(AddrHighReg, 0x12));

  port_.trace.clear();
  link_.SelectRegister(DataReg);
  link_.WriteData(0x77);
  port_.reads[ED] = {0x9C};
  EXPECT_EQ(link_.ReadData(), 0x9C);
  EXPECT_EQ(port_.trace,
            (std::vector<PortAccess>{W(C, 1), W(C, 1), W(EA, 3), W(ED, 0x77), R(ED, 0x9C)}));
}

// Inside a run that holds ControlPort at 0x01 a register write drops the
// control writes that only repeat it: the same strobed cycles remain.
TEST_F(LinkTrace, HeldRegisterWritesLeaveOutTheRepeatedControlWrites) {
  Configure(kLinkModeEpp);
  link_.WriteRegisterHeld(AddrLowReg, 0x5A);
  EXPECT_EQ(port_.trace, (std::vector<PortAccess>{W(EA, 0), W(ED, 0x5A)}));
  Configure(kLinkModeSpp);
  link_.WriteRegisterHeld(DataReg, 0xA5);
  EXPECT_EQ(port_.trace,
            (std::vector<PortAccess>{W(D, 3), W(C, 9), W(C, 1), W(D, 0xA5), W(C, 3), W(C, 1)}));
}

TEST_F(LinkTrace, AnyModeOtherThanOneIsEpp) {
  Configure(7);
  link_.WriteData(0x01);
  EXPECT_EQ(port_.trace, (std::vector<PortAccess>{W(ED, 0x01)}));
}

TEST_F(LinkTrace, ResetClearsTheTimeOutAndReleaseLeavesInitHigh) {
  for (const std::uint8_t mode : {kLinkModeEpp, kLinkModeSpp}) {
    Configure(mode);
    link_.ResetLink();
    link_.ReleaseLink();
    auto reg = [&](std::uint8_t r, std::uint8_t v) {
      return mode == kLinkModeSpp ? SppRegister(r, v) : EppRegister(r, v);
    };
    std::vector<PortAccess> expected{W(S, 0x01)};
    for (auto part : {reg(ModeReg, 0x00), reg(ModeReg, 0x80), reg(ModeReg, 0x00)}) {
      expected.insert(expected.end(), part.begin(), part.end());
    }
    expected.push_back(W(C, 0x04));
    EXPECT_EQ(port_.trace, expected) << "mode " << int{mode};
  }
}

TEST_F(LinkTrace, SuccessfulEppProbeSendsTheEchoTestAndReleases) {
  port_.reads[ED] = {0x12, 0x34};
  EXPECT_TRUE(link_.ProbePort(kBase, kLinkModeEpp));
  std::vector<PortAccess> expected{W(S, 0x01)};
  auto append = [&](std::vector<PortAccess> part) {
    expected.insert(expected.end(), part.begin(), part.end());
  };
  append(EppRegister(ModeReg, 0x00));
  append(EppRegister(ModeReg, 0x80));
  append(EppRegister(AddrHighReg, 0x12));
  append(EppRegister(AddrLowReg, 0x34));
  append({W(C, 1), W(C, 1), W(EA, AddrHighReg), W(C, 0), R(ED, 0x12)});
  append({W(C, 1), W(C, 1), W(EA, AddrLowReg), W(C, 0), R(ED, 0x34)});
  append(EppRegister(ModeReg, 0x00));
  append({W(C, 0x04)});
  EXPECT_EQ(port_.trace, expected);
}

TEST_F(LinkTrace, FailedProbeStopsAtTheFailingRead) {
  port_.reads[ED] = {0x12, 0x35};
  EXPECT_FALSE(link_.ProbePort(kBase, kLinkModeEpp));
  ASSERT_FALSE(port_.trace.empty());
  EXPECT_EQ(port_.trace.back(), R(ED, 0x35));
  EXPECT_EQ(link_.LinkMode(), kLinkModeEpp);
  EXPECT_EQ(link_.Ports().EppDataPort, ED);

  port_.trace.clear();
  port_.reads[ED] = {0x13};
  EXPECT_FALSE(link_.ProbePort(kBase, kLinkModeEpp));
  EXPECT_EQ(port_.trace.back(), R(ED, 0x13));
  EXPECT_EQ(std::count(port_.trace.begin(), port_.trace.end(), R(ED, 0x13)), 1);
}

// Which (base, mode) pairs a search probed, in order: every probe starts by
// clearing the EPP time-out on its status port, and only EPP probes touch the
// EPP address register.
std::vector<std::pair<std::uint16_t, std::uint8_t>> Probes(const std::vector<PortAccess>& trace) {
  std::vector<std::pair<std::uint16_t, std::uint8_t>> probes;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (i + 2 < trace.size() && trace[i].write && trace[i].value == 0x01 &&
        trace[i + 1] == W(static_cast<std::uint16_t>(trace[i].port + 1), 0x01) &&
        trace[i + 2].write && trace[i + 2].value == ModeReg) {
      const std::uint16_t base = static_cast<std::uint16_t>(trace[i].port - 1);
      const bool epp = trace[i + 2].port == base + 3;
      probes.emplace_back(base, epp ? kLinkModeEpp : kLinkModeSpp);
    }
  }
  return probes;
}

using ProbeList = std::vector<std::pair<std::uint16_t, std::uint8_t>>;

struct Detection : ::testing::Test {
  SteppingTicks ticks{0};
  CountingPump pump;
};

TEST_F(Detection, NothingAnywhereLeavesTheSecondPortInSpp) {
  RecordingPort port;
  XChangerLink link(port, ticks, pump);
  EXPECT_FALSE(link.FindXChanger());
  EXPECT_EQ(Probes(port.trace), (ProbeList{{0x378, 0}, {0x378, 1}, {0x278, 0}, {0x278, 1}}));
  EXPECT_EQ(link.LinkMode(), kLinkModeSpp);
  EXPECT_EQ(link.Ports(), (LinkPorts{0x278, 0x279, 0x27A, 0x27B, 0x27C}));

  // The bases are asked for afresh on every search.
  port.base2 = 0x3BC;
  port.trace.clear();
  link.FindXChanger();
  EXPECT_EQ(port.baseReads, 4);
  EXPECT_EQ(Probes(port.trace), (ProbeList{{0x378, 0}, {0x378, 1}, {0x3BC, 0}, {0x3BC, 1}}));
}

TEST_F(Detection, MissingPortsAreSkippedWithoutTouchingLowAddresses) {
  RecordingPort port;
  port.base1 = 0;
  XChangerLink link(port, ticks, pump);
  EXPECT_FALSE(link.FindXChanger());
  EXPECT_EQ(Probes(port.trace), (ProbeList{{0x278, 0}, {0x278, 1}}));
  EXPECT_EQ(link.Ports().DataPort, 0x278);

  port.base2 = 0;
  port.base1 = 0x378;
  port.trace.clear();
  EXPECT_FALSE(link.FindXChanger());
  // The skipped second port is no probe: the link stays on the first.
  EXPECT_EQ(link.Ports().DataPort, 0x378);
  EXPECT_EQ(link.LinkMode(), kLinkModeSpp);

  // Bases whose registers would reach ports 0-4, directly or by wrapping
  // round the top of the I/O space, are refused without a single access.
  port.trace.clear();
  for (const std::uint16_t base : {0x0000, 0x0004, 0xFFFC, 0xFFFF}) {
    EXPECT_FALSE(link.ProbePort(base, kLinkModeEpp)) << base;
  }
  port.base1 = 0;
  EXPECT_FALSE(link.FindXChanger());
  EXPECT_TRUE(port.trace.empty());
  EXPECT_EQ(link.Ports().DataPort, 0x378);
  EXPECT_TRUE(XChangerLink::UsableBase(0x0005));
  EXPECT_TRUE(XChangerLink::UsableBase(0xFFFB));
}

// Detection against the simulated X-Changer, watched through a recorder.
struct SimulatedDetection : Detection {
  void Build(int lpt, bool otherEcho, sim::LinkModes modes) {
    sim::SimConfig config;
    config.lpt = lpt;
    config.otherEcho = otherEcho;
    config.modes = modes;
    sim_ = std::make_unique<sim::SimulatedXChanger>(std::move(config));
    port_ = std::make_unique<RecordingPort>(*sim_);
    link_ = std::make_unique<XChangerLink>(*port_, ticks, pump);
  }
  std::unique_ptr<sim::SimulatedXChanger> sim_;
  std::unique_ptr<RecordingPort> port_;
  std::unique_ptr<XChangerLink> link_;
};

TEST_F(SimulatedDetection, FoundOnTheFirstPortInEppAndLeftReleased) {
  Build(1, false, sim::LinkModes::kBoth);
  EXPECT_TRUE(link_->FindXChanger());
  EXPECT_EQ(Probes(port_->trace), (ProbeList{{0x378, 0}}));
  EXPECT_EQ(link_->LinkMode(), kLinkModeEpp);
  EXPECT_EQ(sim_->Registers().mode, 0x00);
  EXPECT_EQ(sim_->Registers().addressHigh, 0x12);
  EXPECT_EQ(sim_->Registers().addressLow, 0x34);
  EXPECT_EQ(port_->trace.back(), W(0x37A, 0x04));
}

TEST_F(SimulatedDetection, SecondPortIsTriedAfterBothModesOfAnEchoingFirst) {
  for (const auto modes : {sim::LinkModes::kBoth, sim::LinkModes::kSppOnly}) {
    Build(2, true, modes);
    EXPECT_TRUE(link_->FindXChanger());
    ProbeList expected{{0x378, 0}, {0x378, 1}, {0x278, 0}};
    if (modes == sim::LinkModes::kSppOnly) {
      expected.push_back({0x278, 1});
    }
    EXPECT_EQ(Probes(port_->trace), expected);
    EXPECT_EQ(link_->LinkMode(), expected.back().second);
    EXPECT_EQ(link_->Ports().DataPort, 0x278);
    // The echoing device gave back the high register, then failed the low.
    EXPECT_EQ(std::count(port_->trace.begin(), port_->trace.end(), R(0x37C, 0x12)), 1);
  }
}

TEST(LinkDelay, ZeroAndNegativeWaitsPumpExactlyOnce) {
  for (const std::int32_t ms : {0, -5}) {
    RecordingPort port;
    SteppingTicks ticks(100, 0);
    CountingPump pump;
    XChangerLink link(port, ticks, pump);
    link.DelayMs(ms);
    EXPECT_EQ(pump.count, 1) << ms;
  }
}

TEST(LinkDelay, WaitsUntilTheTimeHasPassedAcrossTheCounterWrap) {
  RecordingPort port;
  CountingPump pump;
  // Start 3 ms before the 32-bit counter wraps; one millisecond per reading.
  SteppingTicks ticks(0xFFFFFFFDu, 1);
  XChangerLink link(port, ticks, pump);
  link.DelayMs(10);
  EXPECT_EQ(pump.count, 10);
  EXPECT_EQ(ticks.now, 0xFFFFFFFDu + 11u);
  EXPECT_TRUE(port.trace.empty());
}

// Each chip's window against the longest gap of its page load, on both
// sides of the limit: 3.5 median bytes from the command to the first byte,
// plus once what the 99.9th percentile adds, times the margin of 1.5. A
// median that fits is not enough where the pauses do not (16 Mbit, 1 and
// 20 us), and a pause is not counted once per byte of the gap (4 Mbit, 4 and
// 54 us: 64 us, not 189); the 64 Mbit chip has no window.
TEST(LinkTiming, LongestGapCountsMedianBytesAndOnePauseWithTheMargin) {
  const struct {
    std::uint8_t mbit;
    double median;
    double high;
    bool fits;
  } cases[] = {{16, 5.71, 5.71, true}, {16, 5.72, 5.72, false}, {16, 1.0, 17.0, true},
               {16, 1.0, 20.0, false}, {4, 38.09, 38.09, true}, {4, 38.1, 38.1, false},
               {4, 4.0, 54.0, true},   {4, 4.0, 130.0, false},  {64, 1000.0, 1000.0, true}};
  for (const auto& c : cases) {
    LinkTiming timing;
    timing.usPerByte = c.median;
    timing.usPerByteHigh = c.high;
    EXPECT_EQ(PageLoadFitsLink(*FlashChipForCard(c.mbit), timing), c.fits)
        << int{c.mbit} << " Mbit at " << c.median << " / " << c.high;
  }
}

}  // namespace
}  // namespace velwin::xchanger
