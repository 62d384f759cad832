#include "sram/parallel_port_presence.h"

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

TEST(ParallelPortPresence, OnlyAPortThatNeedsTheMissingHardwarePointsToTheDemo) {
  TempDir dev;
  TempDir sysctl;
  const std::string hint = kNoParallelPortCliHint;
  EXPECT_EQ(CliPortError("direct", "no port listed", dev.Path(), sysctl.Path()),
            "no port listed. " + hint);
  EXPECT_EQ(CliPortError("ppdev", "Not found.", dev.Path(), sysctl.Path()), "Not found. " + hint);
  // The simulator's errors are about its own keys and files.
  EXPECT_EQ(CliPortError("sim:card=7", "bad card", dev.Path(), sysctl.Path()), "bad card");
  EXPECT_EQ(CliPortError("demo", "in use", dev.Path(), sysctl.Path()), "in use");
  EXPECT_EQ(CliPortError("lpt1", "unknown port", dev.Path(), sysctl.Path()), "unknown port");
  // A machine with a port: the port's own reason is the whole story.
  WriteBytes(dev.Path() / "parport0", "");
  EXPECT_EQ(CliPortError("ppdev", "Permission denied", dev.Path(), sysctl.Path()),
            "Permission denied");
}

}  // namespace
}  // namespace velwin::sramman
