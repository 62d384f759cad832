#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "card/card_kind.h"
#include "card/card_read_job.h"
#include "cli/attended_job.h"
#include "fileio/atomic_file.h"
#include "fileio/file_error.h"
#include "tests/ips/small_tmpfs.h"
#include "tests/sram/sim_rig.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::CartConfig;
using sramman::testing::Pattern;
using sramman::testing::PutHeader;
using sramman::testing::SteppingTicks;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// The simulated X-Changer behind a port that can misbehave: flip a bit of
// one data byte read, or raise a signal, after a number of port accesses.
class FaultyPort : public xchanger::PortIo {
 public:
  explicit FaultyPort(xchanger::sim::SimConfig config) : sim_(std::move(config)) {}

  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    Count();
    sim_.PortWrite(port, value);
  }
  std::uint8_t PortRead(std::uint16_t port) override {
    Count();
    std::uint8_t value = sim_.PortRead(port);
    if (flipAt_ != 0 && accesses_ >= flipAt_ && port == xchanger::sim::kLpt1Base + 4) {
      value ^= 0x04;
      flipAt_ = 0;
    }
    return value;
  }
  std::uint16_t ReadLptBase(int n) override { return sim_.ReadLptBase(n); }

  void FlipOneByteAfter(std::uint64_t accesses) { flipAt_ = accesses; }
  void RaiseAfter(std::uint64_t accesses, int signal) {
    raiseAt_ = accesses;
    signal_ = signal;
  }

 private:
  void Count() {
    if (++accesses_ == raiseAt_)
      std::raise(signal_);
  }

  xchanger::sim::SimulatedXChanger sim_;
  std::uint64_t accesses_ = 0;
  std::uint64_t flipAt_ = 0;
  std::uint64_t raiseAt_ = 0;
  int signal_ = 0;
};

// A 4 Mbit card of distinct banks, on the link.
struct CardRig {
  CardRig()
      : rom(Pattern(512 * 1024, 9)),
        port(CartConfig(WithHeader(rom), xchanger::sim::FlashChip::k4Mbit)),
        link(port, ticks, pump),
        cart(link) {}

  static std::vector<std::uint8_t> WithHeader(std::vector<std::uint8_t>& rom) {
    PutHeader(rom, 0, "PATTERN", 0x04, 0x00);
    return rom;
  }
  CardIdentity Identify() {
    auto found = IdentifyCard(cart);
    EXPECT_TRUE(found.card) << found.error;
    return found.card.value_or(CardIdentity{});
  }

  std::vector<std::uint8_t> rom;
  FaultyPort port;
  SteppingTicks ticks;
  xchanger::NoEventPump pump;
  xchanger::XChangerLink link;
  xchanger::CartAccess cart;
};

// The file as it was, and nothing beside it.
void ExpectOnlyOldFile(const TempDir& dir, const std::string& file) {
  const auto bytes = ReadBytes(file);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST(CardReadJob, CancelAtAnyBankBoundaryLeavesNothing) {
  CardRig rig;
  const CardIdentity card = rig.Identify();
  ASSERT_EQ(card.bankCount, 32u);
  // Bank 0 before anything is read, a bank in the middle, and the boundary
  // after the last bank, just before the file would replace the old one.
  for (const std::uint32_t at : {0u, 17u, 32u}) {
    TempDir dir;
    const std::string file = dir.Write("backup.gb", std::string_view("old"));
    std::uint32_t boundaries = 0;
    JobControl control;
    control.SetProgressSink([&](const JobProgress& progress) {
      EXPECT_EQ(progress.bytesToDo, 512u * 1024u);
      if (boundaries++ == at)
        control.RequestCancel();
    });
    EXPECT_EQ(ReadCardToFile(rig.cart, card, file, control).status, JobStatus::kCancelled) << at;
    EXPECT_EQ(boundaries, at + 1);
    ExpectOnlyOldFile(dir, file);
  }
}

TEST(CardReadJob, ADifferenceBetweenTheTwoReadsWritesNothing) {
  CardRig rig;
  const CardIdentity card = rig.Identify();
  TempDir dir;
  const std::string file = dir.Write("backup.gb", std::string_view("old"));
  // Far enough in to land in a bank past the first few.
  rig.port.FlipOneByteAfter(300000);
  JobControl control;
  const JobOutcome outcome = ReadCardToFile(rig.cart, card, file, control);
  EXPECT_EQ(outcome.status, JobStatus::kFailed);
  EXPECT_TRUE(outcome.message.starts_with("Read unstable: ROM bank ")) << outcome.message;
  EXPECT_TRUE(outcome.message.ends_with(" differs between two reads.")) << outcome.message;
  ExpectOnlyOldFile(dir, file);
}

TEST(CardReadJob, SignalsCancelWithTheShellsExitStatus) {
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    CardRig rig;
    const CardIdentity card = rig.Identify();
    TempDir dir;
    const std::string file = dir.Write("backup.gb", std::string_view("old"));
    std::ostringstream err;
    JobControl control;
    {
      cli::AttendedJob attended(control, err, false);
      rig.port.RaiseAfter(500000, signal);
      EXPECT_EQ(ReadCardToFile(rig.cart, card, file, control).status, JobStatus::kCancelled);
      EXPECT_EQ(attended.CancelledStatus(), status);
    }
    ExpectOnlyOldFile(dir, file);
    EXPECT_EQ(err.str(), "");  // no terminal, no progress line
  }
}

// A signal that comes while the program waits in a system call, such as
// output to a pipe that is full, cancels the job and leaves the call going
// on: it must not fail with EINTR and lose what it was writing.
TEST(CardReadJob, ASignalLeavesTheCallItCameInGoingOn) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  JobControl control;
  std::ostringstream err;
  cli::AttendedJob attended(control, err, false);
  const pthread_t reader = ::pthread_self();
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::pthread_kill(reader, SIGTERM);  // while the read below waits
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const char byte = 'x';
    EXPECT_EQ(::write(pipeEnds[1], &byte, 1), 1);
  });
  char got = 0;
  const ssize_t read = ::read(pipeEnds[0], &got, 1);
  const int readError = errno;
  late.join();
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
  EXPECT_EQ(read, 1) << std::strerror(readError);
  EXPECT_EQ(got, 'x');
  EXPECT_TRUE(control.CancelRequested());
  EXPECT_EQ(attended.CancelledStatus(), 143);
}

TEST(CardReadJob, AFullDiskKeepsTheOldFile) {
  TempDir dir;
  velwin::testing::SmallTmpfs disk(dir.Path() / "disk", "256k");
  if (!disk.Mounted())
    GTEST_SKIP() << "mounting a small file system is not allowed here";
  CardRig rig;
  const CardIdentity card = rig.Identify();
  const std::string file = (dir.Path() / "disk" / "backup.gb").string();
  velwin::testing::WriteBytes(file, std::string_view("old"));
  JobControl control;
  try {
    ReadCardToFile(rig.cart, card, file, control);
    ADD_FAILURE() << "a 512 KiB card fitted on a 256 KiB disk";
  } catch (const fileio::FileError& error) {
    EXPECT_STREQ(error.what(), "Disk full");
  }
  const auto bytes = ReadBytes(file);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old");
  EXPECT_FALSE(std::filesystem::exists(fileio::AtomicFile::TempPathFor(file)));
}

}  // namespace
}  // namespace velwin::card::testing
