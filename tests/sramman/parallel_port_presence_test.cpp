#include "sramman/parallel_port_presence.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace velwin::sramman {
namespace {

using velwin::testing::TempDir;
using velwin::testing::WriteBytes;

TEST(ParallelPortPresence, ADeviceOrAListedPortIsAParallelPort) {
  TempDir dev;
  TempDir sysctl;
  // Names that only look alike, and a driver entry without a base.
  WriteBytes(dev.Path() / "parport", "");
  WriteBytes(dev.Path() / "parportx", "");
  WriteBytes(dev.Path() / "lp0", "");
  std::filesystem::create_directories(sysctl.Path() / "parport0");
  WriteBytes(sysctl.Path() / "parport0" / "base-addr", "0\t0\n");
  EXPECT_FALSE(MachineHasParallelPort(dev.Path(), sysctl.Path()));
  EXPECT_FALSE(MachineHasParallelPort(dev.Path() / "missing", sysctl.Path() / "missing"));

  WriteBytes(sysctl.Path() / "parport0" / "base-addr", "888\t1912\n");
  EXPECT_TRUE(MachineHasParallelPort(dev.Path(), sysctl.Path()));

  TempDir noDriver;
  WriteBytes(dev.Path() / "parport1", "");
  EXPECT_TRUE(MachineHasParallelPort(dev.Path(), noDriver.Path()));
}

}  // namespace
}  // namespace velwin::sramman
