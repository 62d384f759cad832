#include "port/direct_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "port/default_port.h"
#include "port/parport_sysctl.h"
#include "tests/support/temp_dir.h"
#include "xchanger/port_choice.h"

namespace velwin::xchanger {
namespace {

namespace fs = std::filesystem;

// A parport driver's sysctl tree in a temporary directory. Its ports are
// plain EPP ports unless told otherwise: an ECP port, or one without a
// modes entry, has its extended control register probed.
class SysctlTree {
 public:
  void Port(int index, const std::string& baseAddr,
            std::string_view modes = "PCSPP,TRISTATE,COMPAT,EPP\n") {
    const fs::path port = Root() / ("parport" + std::to_string(index));
    fs::create_directories(port);
    velwin::testing::WriteBytes(port / "base-addr",
                                velwin::testing::Bytes(baseAddr.begin(), baseAddr.end()));
    velwin::testing::WriteBytes(port / "modes", modes);
  }
  const fs::path& Root() const { return dir_.Path(); }

 private:
  velwin::testing::TempDir dir_;
};

struct IopermCall {
  std::uint16_t from;
  unsigned count;
  bool on;
  bool operator==(const IopermCall&) const = default;
};

class FakeCpu : public DirectPortSystem {
 public:
  int Ioperm(std::uint16_t from, unsigned count, bool on) override {
    log->ioperm.push_back({from, count, on});
    if (auto failure = refuse.find(from); on && failure != refuse.end()) {
      return failure->second;
    }
    return 0;
  }
  void Outb(std::uint16_t port, std::uint8_t value) override { log->out.emplace_back(port, value); }
  std::uint8_t Inb(std::uint16_t port) override {
    log->in.push_back(port);
    return 0x42;
  }
  bool HasRawIo() override { return rawIo; }
  std::string Lockdown() override { return lockdown; }

  struct Log {
    std::vector<IopermCall> ioperm;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> out;
    std::vector<std::uint16_t> in;
  };
  std::shared_ptr<Log> log = std::make_shared<Log>();
  std::map<std::uint16_t, int> refuse;
  bool rawIo = false;
  std::string lockdown;
};

TEST(ParportSysctl, BaseIsTheFirstNumberOfTheEntry) {
  EXPECT_EQ(ParseParportBase("888\t1912\n"), 0x378);
  EXPECT_EQ(ParseParportBase("  632\n"), 0x278);
  EXPECT_EQ(ParseParportBase("65535"), 0xFFFF);
  EXPECT_EQ(ParseParportBase("65536"), std::nullopt);
  EXPECT_EQ(ParseParportBase(""), std::nullopt);
  EXPECT_EQ(ParseParportBase("-1\t-1"), std::nullopt);
  EXPECT_EQ(ParseParportBase("none"), std::nullopt);

  SysctlTree tree;
  tree.Port(0, "888\t1912\n");
  tree.Port(1, "garbage");
  EXPECT_EQ(ReadParportBase(tree.Root(), 1), 0x378);
  EXPECT_EQ(ReadParportBase(tree.Root(), 2), 0);  // unreadable entry
  EXPECT_EQ(ReadParportBase(tree.Root(), 3), 0);  // no such port
  EXPECT_EQ(ReadParportBase(tree.Root(), 0), 0);
  EXPECT_EQ(ReadParportBase(tree.Root() / "missing", 1), 0);
}

TEST(DirectPort, GrantsTheListedPortsAndDropsThemWhenClosed) {
  SysctlTree tree;
  tree.Port(0, "888\t1912\n");
  tree.Port(1, "632\t1656\n");
  auto cpu = std::make_unique<FakeCpu>();
  auto log = cpu->log;
  std::string error;
  auto backend = OpenDirectPort("", std::move(cpu), tree.Root(), error);
  ASSERT_TRUE(backend) << error;
  EXPECT_EQ(backend->ReadLptBase(1), 0x378);
  EXPECT_EQ(backend->ReadLptBase(2), 0x278);
  EXPECT_EQ(backend->ReadLptBase(3), 0);
  EXPECT_EQ(log->ioperm, (std::vector<IopermCall>{{0x378, 5, true}, {0x278, 5, true}}));

  backend->PortWrite(0x37C, 0x11);
  backend->PortWrite(0x278, 0x22);
  EXPECT_EQ(backend->PortRead(0x279), 0x42);
  // Outside the granted registers nothing reaches the processor.
  backend->PortWrite(0x37D, 0x33);
  backend->PortWrite(0x377, 0x33);
  EXPECT_EQ(backend->PortRead(0x0080), 0xFF);
  EXPECT_EQ(log->out,
            (std::vector<std::pair<std::uint16_t, std::uint8_t>>{{0x37C, 0x11}, {0x278, 0x22}}));
  EXPECT_EQ(log->in, std::vector<std::uint16_t>{0x279});

  backend.reset();
  EXPECT_EQ(log->ioperm.size(), 4u);
  EXPECT_EQ(log->ioperm[2], (IopermCall{0x378, 5, false}));
}

TEST(DirectPort, BasesCanBeNamed) {
  SysctlTree tree;
  for (const auto& [options, base1, base2] :
       std::vector<std::tuple<std::string, std::uint16_t, std::uint16_t>>{
           {":0x3bc", 0x3BC, 0}, {":888,0x278", 0x378, 0x278}, {":0XD010", 0xD010, 0}}) {
    std::string error;
    auto backend = OpenDirectPort(options, std::make_unique<FakeCpu>(), tree.Root(), error);
    ASSERT_TRUE(backend) << options << ": " << error;
    EXPECT_EQ(backend->ReadLptBase(1), base1);
    EXPECT_EQ(backend->ReadLptBase(2), base2);
  }
  for (const std::string bad :
       {":", ":0x", ":0x378,", ":0x10000", ":378h", "x", ":0", ":4", ":0xFFFD"}) {
    std::string error;
    EXPECT_FALSE(OpenDirectPort(bad, std::make_unique<FakeCpu>(), tree.Root(), error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(DirectPort, NamedBasesMustBeWhereAParallelPortCanBe) {
  SysctlTree tree;
  tree.Port(0, "888");
  tree.Port(3, "116");  // 0x74: odd, but the kernel found a port there
  struct Case {
    std::string options;
    const char* why;  // empty when the base is accepted
  };
  for (const Case& c : std::vector<Case>{
           {":0x60", "system board's own devices"},
           {":0xFF", "system board's own devices"},
           {":0x100", ""},
           {":0x379", "not a multiple of 4"},
           {":0x378,0x27A", "did you mean 0x278?"},
           {":0x3BC", ""},
           {":0x74", ""},
       }) {
    auto cpu = std::make_unique<FakeCpu>();
    auto log = cpu->log;
    std::string error;
    auto backend = OpenDirectPort(c.options, std::move(cpu), tree.Root(), error);
    if (*c.why == '\0') {
      EXPECT_TRUE(backend) << c.options << ": " << error;
      continue;
    }
    EXPECT_FALSE(backend) << c.options;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.options << ": " << error;
    EXPECT_TRUE(log->ioperm.empty()) << c.options;  // refused before any port is touched
  }
}

TEST(DirectPort, NoListedPortIsAnErrorThatNamesTheWayOut) {
  SysctlTree tree;
  std::string error;
  EXPECT_FALSE(OpenDirectPort("", std::make_unique<FakeCpu>(), tree.Root(), error));
  EXPECT_NE(error.find("direct:0x378"), std::string::npos) << error;
}

TEST(DirectPort, RefusalReleasesWhatWasGranted) {
  SysctlTree tree;
  tree.Port(0, "888");
  tree.Port(1, "632");
  auto cpu = std::make_unique<FakeCpu>();
  cpu->refuse[0x278] = EPERM;
  auto log = cpu->log;
  std::string error;
  EXPECT_FALSE(OpenDirectPort("", std::move(cpu), tree.Root(), error));
  EXPECT_EQ(log->ioperm,
            (std::vector<IopermCall>{{0x378, 5, true}, {0x278, 5, true}, {0x378, 5, false}}));
  EXPECT_NE(error.find("0x278"), std::string::npos) << error;
}

TEST(DirectPort, PermissionMessagesTellPrivilegeFromPolicy) {
  const std::string notRoot = PortPermissionMessage(0x378, EPERM, false, "");
  EXPECT_NE(notRoot.find("needs root or CAP_SYS_RAWIO; or use the ppdev backend with membership "
                         "of group lp"),
            std::string::npos)
      << notRoot;

  const std::string lockdown =
      PortPermissionMessage(0x378, EPERM, true, "none [integrity] confidentiality");
  EXPECT_NE(lockdown.find("kernel lockdown (integrity)"), std::string::npos) << lockdown;
  EXPECT_EQ(lockdown.find("needs root"), std::string::npos) << lockdown;

  const std::string policy = PortPermissionMessage(0x378, EPERM, true, "[none] integrity");
  EXPECT_NE(policy.find("kernel security policy"), std::string::npos) << policy;

  EXPECT_NE(PortPermissionMessage(0xD010, EINVAL, true, "").find("0xD010"), std::string::npos);
  EXPECT_NE(PortPermissionMessage(0x378, ENOMEM, false, "").find(std::strerror(ENOMEM)),
            std::string::npos);
}

TEST(DefaultPort, EnvironmentFirstThenTheDeviceThenDirect) {
  EXPECT_EQ(ChooseDefaultPort("sim:card=16", true), "sim:card=16");
  EXPECT_EQ(ChooseDefaultPort("", true), "") << "set but empty is refused, not the default";
  EXPECT_EQ(ChooseDefaultPort(nullptr, true), "ppdev");
  EXPECT_EQ(ChooseDefaultPort(nullptr, false), "direct");
}

TEST(PortBackendChoice, UnknownDescriptionsAreRefusedWithTheChoices) {
  std::string error;
  for (const std::string bad : {"", "lpt1", "directx", "ppdev0", "simulator"}) {
    EXPECT_FALSE(OpenPortBackend(bad, error)) << bad;
    EXPECT_NE(error.find("unknown port \"" + bad + "\""), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace velwin::xchanger
