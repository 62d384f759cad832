#include "port/port_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace velwin::xchanger {
namespace {

TEST(PortLock, OnePortOrFileIsOneKeyHoweverItIsWritten) {
  // A base in hex or decimal, given twice, is one port.
  EXPECT_EQ(PortLockKeys("direct:0x378,888"), (std::vector<std::string>{"port-0x0378"}));
  // Read as the direct backend reads a base: a leading zero is no octal.
  EXPECT_EQ(PortLockKeys("direct:0888"), (std::vector<std::string>{"port-0x0378"}));
  EXPECT_EQ(PortLockKeys("direct:0x378,0x278"),
            (std::vector<std::string>{"port-0x0378", "port-0x0278"}));
  // A simulated cart in memory is no one else's; its files are, once each.
  EXPECT_TRUE(PortLockKeys("sim:card=16,lpt=2").empty());
  testing::TempDir dir;
  const std::string rom = dir.Write("cart.gb", std::string_view("x"));
  const auto keys = PortLockKeys("sim:rom=" + rom + ",card=4,sram=" + dir.Path().string() + "/../" +
                                 dir.Path().filename().string() + "/cart.gb");
  EXPECT_EQ(keys, PortLockKeys("sim:rom=" + rom));
  EXPECT_EQ(keys.size(), 2u);  // its name and what it is
  EXPECT_EQ(PortInUseText("ppdev", 42),
            "The X-Changer on ppdev is in use by another velwin (process 42).");
}

// A file or port reached by a name of its own is still the same one: a
// hard link to a cart file, a second node for one device.
TEST(PortLock, AnotherNameForTheSameFileOrDeviceSharesAKey) {
  const auto shareAKey = [](const std::string& a, const std::string& b) {
    const auto first = PortLockKeys(a);
    for (const std::string& key : PortLockKeys(b)) {
      if (std::find(first.begin(), first.end(), key) != first.end())
        return true;
    }
    return false;
  };
  testing::TempDir dir;
  const std::string rom = dir.Write("cart.gb", std::string_view("x"));
  std::filesystem::create_hard_link(rom, dir.File("link.gb"));
  EXPECT_TRUE(shareAKey("sim:rom=" + rom, "sim:card=4,rom=" + dir.File("link.gb")));
  EXPECT_TRUE(shareAKey("sim:sram=" + rom, "sim:rom=" + dir.File("link.gb")));
  EXPECT_FALSE(
      shareAKey("sim:rom=" + rom, "sim:rom=" + dir.Write("copy.gb", std::string_view("x"))));

  if (::mknod(dir.File("null").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0 ||
      ::mknod(dir.File("lp").c_str(), S_IFCHR | 0600, makedev(99, 0)) != 0)
    GTEST_SKIP() << "device nodes cannot be made here";
  EXPECT_TRUE(shareAKey("ppdev:/dev/null", "ppdev:" + dir.File("null")));
  EXPECT_TRUE(shareAKey("ppdev:/dev/parport0", "ppdev:" + dir.File("lp")));
  EXPECT_FALSE(shareAKey("ppdev:/dev/parport1", "ppdev:" + dir.File("lp")));
}

TEST(PortLock, HeldUntilReleasedAndNamesItsHolder) {
  testing::TempDir dir;
  PortLock first;
  PortLock second;
  long holder = -1;
  ASSERT_EQ(first.Take("port-0x0378", dir.Path(), holder), PortLock::Outcome::kTaken);
  EXPECT_EQ(second.Take("port-0x0378", dir.Path(), holder), PortLock::Outcome::kBusy);
  EXPECT_EQ(holder, getpid());
  EXPECT_EQ(second.Take("port-0x0278", dir.Path(), holder), PortLock::Outcome::kTaken);
  first.Release();
  PortLock third = std::move(second);
  EXPECT_EQ(first.Take("port-0x0378", dir.Path(), holder), PortLock::Outcome::kTaken);
  EXPECT_EQ(first.Take("port-0x0278", dir.Path(), holder), PortLock::Outcome::kBusy);
  // Released locks leave no files behind.
  first.Release();
  third.Release();
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  // A folder where no lock file can be made locks nothing.
  EXPECT_EQ(first.Take("port-0x0378", dir.Path() / "missing", holder),
            PortLock::Outcome::kUnavailable);
}

}  // namespace
}  // namespace velwin::xchanger
