#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "card/card_kind.h"
#include "card/card_write_job.h"
#include "port/direct_port.h"
#include "port/ppdev_port.h"
#include "tests/port/fake_parport.h"
#include "tests/support/temp_dir.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::xchanger::testing {
namespace {

constexpr const char* kPlainEpp = "PCSPP,TRISTATE,COMPAT,EPP\n";
constexpr const char* kEcpEpp = "PCSPP,TRISTATE,COMPAT,EPP,ECP,DMA\n";

class FastTicks : public TickCounter {
 public:
  std::uint32_t GetTickCount() override { return now_ += 5; }

 private:
  std::uint32_t now_ = 0;
};

// A machine with one parallel port at 0x378 and the X-Changer on it: the
// parport driver's list, the port's registers, the kernel and the
// processor, all stand-ins.
class Machine {
 public:
  Machine(bool ecp, const char* modes, const char* baseAddr = "888\t1912\n",
          const std::string& simKeys = "card=16")
      : x_(Config(simKeys)), port(x_, ecp) {
    const auto dir = sysctl_.Path() / "parport0";
    std::filesystem::create_directories(dir);
    velwin::testing::WriteBytes(dir / "base-addr", std::string_view(baseAddr));
    if (modes != nullptr)
      velwin::testing::WriteBytes(dir / "modes", std::string_view(modes));
  }

  std::unique_ptr<PortBackend> Ppdev(bool rawIo, int claimError = 0) {
    auto kernel = std::make_unique<FakeKernel>(port);
    kernel->claimError = claimError;
    return OpenPpdevPort("", std::move(kernel), std::make_unique<FakeCpu>(port, rawIo),
                         sysctl_.Path(), error);
  }
  std::unique_ptr<PortBackend> Direct() {
    return OpenDirectPort("", std::make_unique<FakeCpu>(port, true), sysctl_.Path(), error);
  }
  ChipClock& Clock() { return x_.Clock(); }

  std::size_t Count(std::string_view prefix) const {
    return static_cast<std::size_t>(
        std::count_if(port.log.begin(), port.log.end(),
                      [&](const std::string& line) { return line.starts_with(prefix); }));
  }
  std::vector<std::string> Tail(std::size_t n) const {
    return {port.log.end() - static_cast<std::ptrdiff_t>(std::min(n, port.log.size())),
            port.log.end()};
  }

 private:
  static sim::SimConfig Config(const std::string& keys) {
    sim::SimConfig config;
    std::string error;
    EXPECT_TRUE(sim::ParseSimSpec(keys, config, error)) << error;
    if (!config.hasCart) {
      config.hasCart = true;
      config.rom.resize(2 * 1024 * 1024);
      std::iota(config.rom.begin(), config.rom.end(), std::uint8_t{3});
    }
    return config;
  }

  velwin::testing::TempDir sysctl_;
  sim::SimulatedXChanger x_;

 public:
  FakeParport port;
  std::string error;
};

// Finds the X-Changer on port and returns the link's mode, -1 when none.
int Search(PortBackend& port) {
  FastTicks ticks;
  NoEventPump pump;
  XChangerLink link(port, ticks, pump);
  return link.FindXChanger() ? link.LinkMode() : -1;
}

TEST(FastPath, TakenWithTheRightsWhileTheKernelHoldsThePortForUs) {
  Machine machine(false, kPlainEpp);
  auto port = machine.Ppdev(true);
  ASSERT_TRUE(port) << machine.error;
  EXPECT_EQ(port->Path().kind, PortPath::Kind::kDirectUnderPpdev);
  EXPECT_EQ(machine.port.log.front(), "open");
  EXPECT_EQ(machine.port.log[1], "PPEXCL");
  EXPECT_EQ(machine.port.log[2], "PPCLAIM");
  machine.port.log.clear();
  EXPECT_EQ(Search(*port), kLinkModeEpp);
  // Every access a port instruction, none outside the port, no kernel
  // call; the plain EPP port's extended control register is never touched.
  EXPECT_EQ(machine.Count("out ") + machine.Count("in "), machine.port.log.size());
  EXPECT_EQ(machine.Count("FAULT"), 0u);
  EXPECT_EQ(machine.Count("in 77A") + machine.Count("out 77A"), 0u);

  // The kernel is told the lines as they are, before it gets the port back.
  port.reset();
  EXPECT_EQ(machine.Tail(5), (std::vector<std::string>{"PPWCONTROL 4", "PPDATADIR 0", "PPRELEASE",
                                                       "close", "ioperm 378 5 off"}));
  EXPECT_EQ(machine.port.control & 0x2F, 0x04);
}

TEST(FastPath, NotTakenWithoutTheRightsNorWhereTheListLies) {
  Machine machine(false, kPlainEpp);
  auto port = machine.Ppdev(false);
  ASSERT_TRUE(port) << machine.error;
  EXPECT_EQ(port->Path().kind, PortPath::Kind::kPpdev);
  EXPECT_EQ(Search(*port), kLinkModeEpp);
  EXPECT_EQ(machine.Count("ioperm") + machine.Count("out ") + machine.Count("in "), 0u);
  EXPECT_GT(machine.Count("write 1"), 0u);

  // The driver lists 0x278 for parport0, where no such port answers.
  Machine lying(false, kPlainEpp, "632\t1656\n");
  const auto lyingPort = lying.Ppdev(true);
  ASSERT_TRUE(lyingPort) << lying.error;
  EXPECT_EQ(lyingPort->Path().kind, PortPath::Kind::kPpdev);
  EXPECT_NE(
      lyingPort->Path().note.find("lists 0x278 for /dev/parport0, but the port there does not"),
      std::string::npos)
      << lyingPort->Path().note;
  EXPECT_EQ(lying.Tail(1), std::vector<std::string>{"ioperm 278 5 off"});
  EXPECT_EQ(Search(*lyingPort), kLinkModeEpp);
  EXPECT_EQ(lying.Count("FAULT"), 0u);
}

TEST(FastPath, APortAnotherProgramHoldsIsRefused) {
  Machine machine(false, kPlainEpp);
  EXPECT_FALSE(machine.Ppdev(true, EBUSY));
  EXPECT_NE(machine.error.find("another program holds the port"), std::string::npos)
      << machine.error;
  EXPECT_EQ(machine.Tail(1), std::vector<std::string>{"close"});
}

TEST(EcpPort, SwitchedToEppForEachJobAndHandedBackAsFound) {
  for (const bool underPpdev : {false, true}) {
    SCOPED_TRACE(underPpdev ? "direct under ppdev" : "direct");
    Machine machine(true, kEcpEpp);
    auto port = underPpdev ? machine.Ppdev(true) : machine.Direct();
    ASSERT_TRUE(port) << machine.error;
    EXPECT_TRUE(port->Path().ecp && port->Path().ecrToEpp);
    // Without the switch the EPP registers read 0xFF and the search falls
    // back to SPP.
    EXPECT_EQ(Search(*port), kLinkModeEpp);
    EXPECT_EQ(machine.port.ecr & 0xE0, 0x80);
    port->EndJob();
    EXPECT_EQ(machine.port.ecr, 0x35);
    EXPECT_EQ(machine.port.control & 0x2F, 0x04);
    // The next job switches it again.
    EXPECT_EQ(Search(*port), kLinkModeEpp);
    port.reset();
    EXPECT_EQ(machine.port.ecr, 0x35);
    EXPECT_EQ(machine.Count("FAULT"), 0u);
    if (underPpdev) {
      // Put back before the kernel, which keeps the register's value at the
      // release, gets the port.
      const auto release = std::find(machine.port.log.begin(), machine.port.log.end(), "PPRELEASE");
      const auto restore =
          std::find(machine.port.log.rbegin(), machine.port.log.rend(), "out 77A 34");
      ASSERT_NE(restore, machine.port.log.rend());
      EXPECT_LT(restore.base(), release + 1);
    }
  }
}

TEST(EcpPort, WithoutTheKernelsListTheRegisterIsProbedAndSaidSo) {
  Machine machine(true, nullptr);
  auto port = machine.Direct();
  ASSERT_TRUE(port) << machine.error;
  EXPECT_TRUE(port->Path().ecp);
  EXPECT_NE(port->Path().note.find("no port modes listed"), std::string::npos);
  EXPECT_EQ(Search(*port), kLinkModeEpp);

  // A port listed as ECP without its second block of registers (a PCI
  // card's may be anywhere) is driven as a plain port, and nothing beyond
  // its five registers is touched.
  Machine pci(true, kEcpEpp, "888\t-1\n");
  const auto pciPort = pci.Direct();
  ASSERT_TRUE(pciPort) << pci.error;
  EXPECT_FALSE(pciPort->Path().ecp);
  EXPECT_NE(pciPort->Path().note.find("without the base of its extended control register"),
            std::string::npos);
  EXPECT_EQ(pci.Count("ioperm 77A"), 0u);

  // A plain port has no register there, and the search still finds EPP.
  Machine plain(false, nullptr);
  const auto plainPort = plain.Direct();
  ASSERT_TRUE(plainPort) << plain.error;
  EXPECT_FALSE(plainPort->Path().ecp);
  EXPECT_EQ(Search(*plainPort), kLinkModeEpp);
}

TEST(PpdevPort, ControlGoesOneLineAtATimeAndOnlyWhereTheKernelKeepsIt) {
  // After the claim the kernel's idle lines (INIT high, SELECT IN
  // asserted) become the write direction one line at a time.
  Machine plain(false, kPlainEpp);
  auto port = plain.Ppdev(false);
  ASSERT_TRUE(port) << plain.error;
  plain.port.log.clear();
  EXPECT_EQ(Search(*port), kLinkModeEpp);
  std::vector<std::string> controls;
  for (const std::string& line : plain.port.log) {
    if (line.starts_with("PPWCONTROL"))
      controls.push_back(line);
  }
  ASSERT_GE(controls.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(controls.begin(), controls.begin() + 3),
            (std::vector<std::string>{"PPWCONTROL 4", "PPWCONTROL 5", "PPWCONTROL 1"}));

  // On an ECP port the kernel writes control before every EPP transfer:
  // none of ours goes before one.
  Machine ecp(true, kEcpEpp);
  const auto ecpPort = ecp.Ppdev(false);
  ASSERT_TRUE(ecpPort) << ecp.error;
  ecp.port.log.clear();
  EXPECT_EQ(Search(*ecpPort), kLinkModeEpp);
  EXPECT_EQ(ecp.Count("PPWCONTROL"), 0u);

  // Released in compatibility mode with the lines at rest.
  ecp.port.log.clear();
  ecpPort->Idle();
  EXPECT_EQ(ecp.port.log, (std::vector<std::string>{
                              "PPSETMODE " + std::to_string(IEEE1284_MODE_COMPAT), "PPRELEASE"}));
  EXPECT_EQ(ecp.port.control & 0x2F, 0x04);
}

// Every kind of job ends with the lines at rest and the port's mode as
// found, on both paths, a failed and a cancelled write included.
TEST(JobEnd, LeavesTheLinesAtRestAfterEveryKindOfJob) {
  using Job = std::function<void(CartAccess&, ChipClock&)>;
  const auto write = [](bool cancel) {
    return [cancel](CartAccess& cart, ChipClock& clock) {
      std::vector<std::uint8_t> image(256 * 1024, 0x5A);
      card::CardWriteOptions options;
      options.backup = false;
      card::JobControl control;
      if (cancel)
        control.RequestCancel();
      const card::CardWriteResult result =
          card::WriteCard(cart, clock, image, options, control, [](const std::string&) {});
      EXPECT_FALSE(result.outcome.Ok());
    };
  };
  const std::vector<std::pair<std::string, Job>> jobs{
      {"identify", [](CartAccess& cart, ChipClock&) { EXPECT_EQ(cart.IdentifyFlashCard(), 16); }},
      {"read", [](CartAccess& cart, ChipClock&) { cart.ReadMenuDirectory(3); }},
      {"sram", [](CartAccess& cart, ChipClock&) { EXPECT_EQ(cart.ReadSramBank(0), 0); }},
      {"cancelled write", write(true)},
      {"failed write", write(false)},
  };
  for (const bool ppdev : {false, true}) {
    for (const auto& [name, job] : jobs) {
      SCOPED_TRACE(name + (ppdev ? " over ppdev" : " direct"));
      Machine machine(true, kEcpEpp, "888\t1912\n", "card=16,erasefail=0");
      auto port = ppdev ? machine.Ppdev(false) : machine.Direct();
      ASSERT_TRUE(port) << machine.error;
      FastTicks ticks;
      NoEventPump pump;
      XChangerLink link(*port, ticks, pump);
      CartAccess cart(link);
      ASSERT_TRUE(link.FindXChanger());
      job(cart, machine.Clock());
      port.reset();
      EXPECT_EQ(machine.port.control & 0x2F, 0x04);
      EXPECT_EQ(machine.port.ecr, 0x35);
    }
  }
}

}  // namespace
}  // namespace velwin::xchanger::testing
