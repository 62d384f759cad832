// Card writes over links as slow and uneven as real ports: the job holds
// where the chip's byte-load window allows, refuses before erasing where it
// does not, loads cut pages again, and puts a failing unit back.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "card/card_write_job.h"
#include "cli/link_command.h"
#include "tests/cardwrite/card_write_fixture.h"
#include "tests/sram/sim_rig.h"

namespace velwin::card::testing {
namespace {

std::string Found(const std::string& text, const std::string& part) {
  return text.find(part) == std::string::npos ? "missing: " + part : "";
}

TEST_F(CardWrite, SixteenMbitHoldsAtOnePointFourMicrosecondsAndIsRefusedAtFive) {
  const Bytes old = Pattern(2048 * kKiB, 1);
  const Bytes game = Pattern(1024 * kKiB, 2);
  for (const char* access : {"1000", "1400"}) {
    SCOPED_TRACE(access);
    const CommandRun run =
        Write({"--json", "--no-backup", "--port", Card("16", old, std::string("access=") + access),
               dir.Write("game.gb", game)});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Found(run.out, std::string("\"link\":{\"usPerByte\":") +
                                 (access[1] == '4' ? "5.6" : "4") + ",\"usPerByteWorst\":" +
                                 (access[1] == '4' ? "5.6" : "4") + "},\"verified\":true}"),
              "");
    EXPECT_TRUE(CardNow() == Overlay(old, game));
  }
  const CommandRun run =
      Write({"--port", Card("16", old, "access=5000"), dir.Write("game.gb", game)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Found(run.err,
                  ": Link too slow for this card: a loaded byte takes 20 us here at the median "
                  "and 20 us for 99.9% of bytes, so the longest gap of a page load takes 70 us. "
                  "The 16 Mbit card's chip closes a page load when no byte has come for 30 us. "
                  "The longest gap of its page load, from the page command across a bank switch "
                  "to the first byte, is the port traffic of 3.5 loaded bytes; with a margin of "
                  "1.5 it must take under 20 us, counted as 3.5 median bytes plus once what the "
                  "slowest 0.1% of bytes take beyond the median. So a loaded byte must take "
                  "under 5.71 us on a link without pauses. Nothing was erased. Try --port "
                  "direct, or a machine at rest. Nothing on the card was changed."),
            "");
  EXPECT_TRUE(CardNow() == old);
  EXPECT_TRUE(Backups().empty()) << "a refused write keeps no backup";
}

TEST_F(CardWrite, FourAndSixtyFourMbitHoldAtNineMicrosecondsAPortAccess) {
  const struct {
    const char* mbit;
    std::size_t cardBytes;
    std::size_t imageBytes;
  } cases[] = {{"4", 512 * kKiB, 512 * kKiB}, {"64", 8192 * kKiB, 600 * kKiB}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mbit);
    const Bytes old = Pattern(c.cardBytes, 3);
    const Bytes image = Pattern(c.imageBytes, 4);
    const CommandRun run =
        Write({"--no-backup", "--port", Card(c.mbit, old, "modes=epp,access=9000"),
               dir.Write("image.gb", image)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(CardNow() == Overlay(old, image));
  }
  // Three microseconds more, and the 4 Mbit chip's window is too short for
  // the bank switch before a page's first byte.
  const Bytes old = Pattern(512 * kKiB, 5);
  const CommandRun run = Write({"--no-backup", "--port", Card("4", old, "access=12000"),
                                dir.Write("image.gb", Pattern(512 * kKiB, 6))});
  EXPECT_EQ(Found(run.err, "Link too slow for this card: a loaded byte takes 48 us"), "");
  EXPECT_TRUE(CardNow() == old);
}

// Pauses of a millisecond now and then cut page loads; each cut page is
// loaded again at once and the card ends verified.
TEST_F(CardWrite, JitteredWritesLoadCutPagesAgainAndVerify) {
  for (const char* mbit : {"4", "16"}) {
    SCOPED_TRACE(mbit);
    const Bytes old = Pattern(std::string(mbit) == "4" ? 512 * kKiB : 2048 * kKiB, 7);
    const Bytes image = Pattern(512 * kKiB, 8);
    const CommandRun run = Write({"--no-backup", "--port", Card(mbit, old, "jitter=20000:1000"),
                                  dir.Write("image.gb", image)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Found(run.out,
                    " page loads were cut by a pause of the link and loaded again.\n"
                    "Card verified: 524288 bytes. Written in "),
              "");
    EXPECT_TRUE(CardNow() == Overlay(old, image));
  }
}

// A page that fails for good gets its old contents back from the card as
// read before the write: the pages written before it hold the image, it and
// everything after hold the old card, and the message says so.
TEST_F(CardWrite, FailingPageIsPutBackAndTheMessageSaysWhatTheCardHolds) {
  Bytes old = Pattern(512 * kKiB, 9);
  old[0x1234] = 0xFF;  // a cell that no longer programs, erased
  Bytes image = old;
  for (std::size_t i = 0x1000; i < 0x1300; ++i)
    image[i] = static_cast<std::uint8_t>(old[i] ^ 0x5A);
  const CommandRun run = Write(
      {"--no-backup", "--port", Card("4", old, "badbyte=0x1234"), dir.Write("image.gb", image)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Found(run.err,
                  "Verify failed at 0x001234 in page 18 (0x001200-0x0012FF): wanted 0xA5, "
                  "read 0xFF twice. Page 18 (0x001200-0x0012FF) holds its old contents "
                  "again. Written: 0x001000-0x0011FF of the card."),
            "");
  Bytes expected = old;
  std::copy(image.begin() + 0x1000, image.begin() + 0x1200, expected.begin() + 0x1000);
  EXPECT_TRUE(CardNow() == expected);
}

TEST_F(CardWrite, LockedBootBlockIsRefusedBeforeAnythingIsWritten) {
  const Bytes old = Pattern(512 * kKiB, 10);
  Bytes image = old;
  image[0x7FF00] ^= 0xFF;  // the last page, in the high boot block
  image[0x100] ^= 0xFF;
  const CommandRun run =
      Write({"--no-backup", "--port", Card("4", old, "locked=3"), dir.Write("image.gb", image)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Found(run.err,
                  "Cannot write page 2047 (0x07FF00-0x07FFFF): it lies in a boot block "
                  "that is locked for good. Nothing was erased."),
            "");
  EXPECT_TRUE(CardNow() == old);
  image[0x7FF00] = old[0x7FF00];  // the write stays clear of it: the lock does not matter
  EXPECT_EQ(
      Write({"--no-backup", "--port", Card("4", old, "locked=3"), dir.Write("i.gb", image)}).status,
      0);
  EXPECT_TRUE(CardNow() == image);
}

CommandRun LinkTest(const std::vector<std::string>& words) {
  return velwin::testing::RunCommand(cli::RunLinkCommand, words);
}

TEST(LinkTest, FastAndSlowLinks) {
  const std::string fast = "sim:card=16";
  CommandRun run = LinkTest({"test", "--json", "--port", fast});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("{\"port\":\"sim:card=16\",\"mode\":\"EPP\",\"dataLines\":true,"
                          "\"usPerAccess\":1,\"usPerByte\":4,\"usPerByteWorst\":4,"
                          "\"writable\":{\"4\":true,\"16\":true,\"64\":true},\"realtime\":",
                          0),
            0u)
      << run.out;
  // Over SPP at 2.5 us an access, a byte takes 30 us: too slow for the
  // 16 Mbit chip's 30 us; fast enough for the 4 Mbit chip's 200, but a pause
  // every 50 ms would cut about one 4 Mbit page load of 7.7 ms in seven.
  const std::string slow = "sim:lpt=2,modes=spp,access=2500,jitter=20000:900";
  run = LinkTest({"test", "--port", slow});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Found(run.out, "X-Changer found on port \"" + slow +
                               "\" in SPP mode.\nAddress registers: all 8 data lines read back "
                               "right.\nPort access: 2.5 us; loaded byte (12 accesses): 30 us "
                               "median, 30 us for 99.9%, 930 us worst.\n"
                               "4 Mbit card: fast enough, but its pauses come too often: try a "
                               "machine at rest.\n  About 377 of the 2048 page loads (18%) would "
                               "be cut by a pause of this link and loaded again, each an extra "
                               "program cycle of its page: too many, so a write is refused before "
                               "anything is erased.\n16 Mbit card: too slow a link"),
            "");
  EXPECT_EQ(LinkTest({"test", "--port", "sim:lpt=none"}).status, 1);
  EXPECT_EQ(LinkTest({"probe"}).status, 2);
}

// What a user attaches to a bug report: the trace of the link test's own
// accesses, and a JSON answer even when no X-Changer answers.
TEST(LinkTest, TracesItsAccessesAndAnswersInJsonWhenNothingIsFound) {
  const TempDir dir;
  const std::string trace = (dir.Path() / "link.trace").string();
  EXPECT_EQ(LinkTest({"test", "--port", "sim:card=16", "--trace", trace}).status, 0);
  const Bytes written = ReadBytes(trace);
  const std::string text(written.begin(), written.end());
  // The probe's first access clears the EPP time-out flag of LPT1.
  // Stamped when done: the first access ends a microsecond in.
  EXPECT_NE(text.find("\n1 0379 w 01\n"), std::string::npos) << text.substr(0, 200);
  EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 4096 * 4);

  const CommandRun none = LinkTest({"test", "--json", "--port", "sim:lpt=none"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "{\"port\":\"sim:lpt=none\",\"error\":\"No X-Changer found\"}\n");
}

// A cart kept in files is driven under its lock, and --trace wraps the port
// once more: through both, a byte of 4 accesses of 0.3 us is timed at
// 1.2 us, not rounded to whole microseconds.
TEST(LinkTest, TimesToTheNanosecondThroughTheLockAndTheTrace) {
  const TempDir dir;
  const std::string port =
      "sim:rom=" + dir.Write("card.gb", Pattern(2048 * kKiB, 12)) + ",card=16,access=300";
  for (const bool traced : {false, true}) {
    SCOPED_TRACE(traced);
    std::vector<std::string> words = {"test", "--json", "--port", port};
    if (traced)
      words.insert(words.end(), {"--trace", (dir.Path() / "link.trace").string()});
    const CommandRun run = LinkTest(words);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Found(run.out, "\"usPerAccess\":0.3,\"usPerByte\":1.2,\"usPerByteWorst\":1.2,"), "");
  }
}

// Stands in for real-time scheduling: not permitted, and it notes when
// the job raises and lowers it, on the simulated clock.
class RecordedPriority : public xchanger::PageLoadPriority {
 public:
  explicit RecordedPriority(xchanger::ChipClock& clock) : clock_(clock) {}
  bool Prepare(std::string& why) override {
    ++prepared;
    why = "not permitted here";
    return false;
  }
  void Raise() override {
    EXPECT_FALSE(raised) << "raised twice";
    raised = true;
    since = clock_.NowMicroseconds();
  }
  void Lower() override {
    EXPECT_TRUE(raised) << "lowered without a raise";
    raised = false;
    ++spans;
    longestUs = std::max(longestUs, clock_.NowMicroseconds() - since);
  }
  int prepared = 0;
  bool raised = false;
  std::uint64_t since = 0;
  std::uint64_t spans = 0;
  std::uint64_t longestUs = 0;

 private:
  xchanger::ChipClock& clock_;
};

// The priority is raised for each page load only, never across a page's
// write time, and a job that may not have it says so once and goes on.
TEST(CardWriteJob, RaisesThePriorityForEachPageLoadOnlyAndSaysOnceWhenItMayNot) {
  for (const auto card : {xchanger::sim::FlashChip::k4Mbit, xchanger::sim::FlashChip::k16Mbit}) {
    const bool small = card == xchanger::sim::FlashChip::k4Mbit;
    sramman::testing::SimRig rig(
        sramman::testing::CartConfig(Bytes(small ? 512 * kKiB : 2048 * kKiB, 0xFF), card));
    RecordedPriority priority(rig.sim.Clock());
    const Bytes image = Pattern(64 * kKiB, 11);
    JobControl control;
    CardWriteOptions options;
    options.backup = false;
    options.priority = &priority;
    std::vector<std::string> said;
    const CardWriteResult result =
        WriteCard(rig.cart, rig.sim.Clock(), image, options, control,
                  [&said](const std::string& line) { said.push_back(line); });
    EXPECT_TRUE(result.verified) << result.outcome.message;
    EXPECT_EQ(said, std::vector<std::string>{"not permitted here"});
    EXPECT_EQ(priority.prepared, 1);
    EXPECT_FALSE(priority.raised);
    EXPECT_EQ(priority.spans, image.size() / (small ? 256 : 128)) << "one span per page";
    EXPECT_LT(priority.longestUs, small ? 5000u : 3000u) << "dropped before the chip's write";
  }
}

}  // namespace
}  // namespace velwin::card::testing
