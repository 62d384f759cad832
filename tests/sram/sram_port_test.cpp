#include "sram/sram_port.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "port/port_trace.h"
#include "sim/simulated_xchanger.h"
#include "tests/support/temp_dir.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

namespace velwin::sramman {
namespace {

using testing::Bytes;
using testing::TempDir;

std::string InUse(const std::string& port, long pid) {
  return "The X-Changer on " + port + " is in use by another velwin (process " +
         std::to_string(pid) + ").";
}

class SramPort : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string rom_ = dir_.Write("card.gb", Bytes(512 * 1024, 0x3C));
  std::string port_ = "sim:card=4,rom=" + rom_;
};

TEST_F(SramPort, SecondProcessIsRefusedUntilTheFirstIsGoneEvenByKill) {
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string error;
    auto port = OpenSramPort(port_, error);
    const char answer = port ? 'y' : 'n';
    [[maybe_unused]] auto put = write(ready[1], &answer, 1);
    char wait = 0;
    [[maybe_unused]] auto got = read(done[0], &wait, 1);  // until killed
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  ASSERT_EQ(answer, 'y');

  std::string error;
  EXPECT_FALSE(OpenSramPort(port_, error));
  EXPECT_EQ(error, InUse(port_, child));
  // The same file under another name, as sram= this time, is the same lock.
  const std::string other = "sim:card=4,sram=" + dir_.Path().string() + "/./card.gb";
  EXPECT_FALSE(OpenSramPort(other, error));
  EXPECT_EQ(error, InUse(other, child));
  // Files of their own are no one else's.
  EXPECT_TRUE(OpenSramPort("sim:card=4,rom=" + dir_.Write("other.gb", Bytes(512 * 1024)), error))
      << error;

  // A job killed outright leaves nothing locked.
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(OpenSramPort(port_, error)) << error;
  for (int fd : {ready[0], ready[1], done[0], done[1]})
    close(fd);
}

TEST_F(SramPort, WindowWaitsForThePortAndLetsGoOfItWhileIdle) {
  std::string error;
  auto job = OpenSramPort(port_, error);
  ASSERT_TRUE(job) << error;
  SramPortOptions windowOptions;
  windowOptions.busyIsNoFailure = true;
  auto window = OpenSramPort(port_, error, windowOptions);
  ASSERT_TRUE(window) << error;

  std::string why;
  EXPECT_FALSE(window->Reserve(why));
  EXPECT_EQ(why, InUse(port_, getpid()));
  // Its accesses meanwhile go nowhere: no X-Changer is found.
  xchanger::SteadyTickCounter ticks;
  xchanger::NoEventPump pump;
  xchanger::XChangerLink link(*window, ticks, pump);
  EXPECT_FALSE(link.FindXChanger());

  job.reset();
  EXPECT_TRUE(window->Reserve(why)) << why;
  EXPECT_TRUE(link.FindXChanger());
  EXPECT_FALSE(OpenSramPort(port_, error));
  // Idle lets a command-line job have the port; the window's next job waits.
  window->Idle();
  job = OpenSramPort(port_, error);
  ASSERT_TRUE(job) << error;
  EXPECT_FALSE(window->Reserve(why));
  // Without windowOptions the busy port is a failure at once.
  EXPECT_FALSE(OpenSramPort(port_, error));
  // The demo card is this process's own.
  EXPECT_TRUE(OpenSramPort(kDemoPortDescription, error));
  EXPECT_TRUE(OpenSramPort(kDemoPortDescription, error));
}

// The trace file, read back.
std::vector<xchanger::TracedAccess> ReadTrace(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);  // the heading
  std::vector<xchanger::TracedAccess> accesses;
  while (std::getline(in, line)) {
    unsigned long long us = 0;
    unsigned port = 0, value = 0;
    char direction = 0;
    if (std::sscanf(line.c_str(), "%llu %x %c %x", &us, &port, &direction, &value) != 4)
      return {};
    accesses.push_back(
        {us, static_cast<std::uint16_t>(port), direction == 'w', static_cast<std::uint8_t>(value)});
  }
  return accesses;
}

TEST_F(SramPort, TraceHoldsExactlyTheJobsAccessesAndIsWrittenOnlyWhenFlushed) {
  xchanger::sim::SimConfig config;
  config.hasCart = true;
  config.card = xchanger::sim::FlashChip::k16Mbit;
  config.rom.assign(2048 * 1024, 0x5A);
  auto sim = std::make_unique<xchanger::sim::SimulatedXChanger>(config);
  xchanger::sim::SimulatedXChanger& x = *sim;
  x.EnablePortTrace(true);
  const std::string path = dir_.File("trace.txt");
  // Written out at the chip waits every 500 accesses or so, and within the
  // directory read (no wait there) once 2000 are held.
  xchanger::TracedPort traced(std::move(sim), path, 500);

  xchanger::SteadyTickCounter ticks;
  xchanger::NoEventPump pump;
  xchanger::XChangerLink link(traced, ticks, pump);
  xchanger::CartAccess cart(link);
  ASSERT_TRUE(link.FindXChanger());
  ASSERT_EQ(cart.IdentifyFlashCard(), 16);
  traced.Clock().WaitMicroseconds(30);
  cart.ReadMenuDirectory(3);
  traced.Clock().WaitMicroseconds(30);
  ASSERT_EQ(cart.WriteSramBank(1), 0);
  EXPECT_FALSE(std::filesystem::exists(path));

  std::string error;
  ASSERT_TRUE(traced.Flush(error)) << error;
  const auto trace = ReadTrace(path);
  ASSERT_EQ(trace.size(), x.PortTrace().size());
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const auto& own = x.PortTrace()[i];
    ASSERT_EQ(trace[i].port, own.port) << i;
    ASSERT_EQ(trace[i].write, own.write) << i;
    ASSERT_EQ(trace[i].value, own.value) << i;
    // The simulated clock moves a microsecond per access, more in a wait.
    if (i > 0) {
      ASSERT_GT(trace[i].us, trace[i - 1].us) << i;
    }
  }
  EXPECT_EQ(trace.back().us, x.NowMicroseconds()) << "stamped when done";

  // Accesses after a flush are added to what the file holds.
  cart.ReadSramBank(1);
  traced.Clock().WaitMicroseconds(30);
  ASSERT_TRUE(traced.Flush(error)) << error;
  EXPECT_EQ(ReadTrace(path).size(), x.PortTrace().size());
}

}  // namespace
}  // namespace velwin::sramman
