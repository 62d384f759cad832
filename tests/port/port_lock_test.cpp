#include "port/port_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace velwin::xchanger {
namespace {

TEST(PortLock, OnePortOrFileIsOneKeyHoweverItIsWritten) {
  // A base in hex or decimal, given twice, is one port.
  EXPECT_EQ(PortLockKeys("direct:0x378,888"), (std::vector<std::string>{"port-0x0378"}));
  EXPECT_EQ(PortLockKeys("direct:0x378,0x278"),
            (std::vector<std::string>{"port-0x0378", "port-0x0278"}));
  // A simulated cart in memory is no one else's; its files are, once each.
  EXPECT_TRUE(PortLockKeys("sim:card=16,lpt=2").empty());
  testing::TempDir dir;
  const std::string rom = dir.Write("cart.gb", std::string_view("x"));
  const auto keys = PortLockKeys("sim:rom=" + rom + ",card=4,sram=" + dir.Path().string() + "/../" +
                                 dir.Path().filename().string() + "/cart.gb");
  EXPECT_EQ(keys.size(), 1u);
  EXPECT_EQ(PortInUseText("ppdev", 42),
            "The X-Changer on ppdev is in use by another velwin (process 42).");
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
