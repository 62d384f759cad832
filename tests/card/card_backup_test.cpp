// The backups card write keeps: never one over another, none that changes
// nothing, no copy of the newest, all of them listed; and what a job says
// about them and other files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "card/card_backup.h"
#include "card/job_progress.h"
#include "cli/cancel_on_signals.h"
#include "sram/parallel_port_presence.h"
#include "tests/card/card_cli.h"
#include "tests/ips/small_tmpfs.h"
#include "tests/sram/test_carts.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using sramman::testing::Pattern;
using sramman::testing::PutHeader;
using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

constexpr std::size_t kCardBytes = 2048 * 1024;  // 16 Mbit

// A process id no process has: a child that has been waited for.
pid_t GonePid() {
  const pid_t pid = ::fork();
  if (pid == 0)
    ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

class CardBackups : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1); }
  std::filesystem::path Folder() const { return dir.Path() / "data/velwin/card-backups"; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    if (std::filesystem::is_directory(Folder())) {
      for (const auto& entry : std::filesystem::directory_iterator(Folder()))
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Port() const { return "sim:card=16,rom=" + dir.File("card.gb"); }
  CommandRun Write(const Bytes& image) {
    return Card({"write", "--port", Port(), dir.Write("image.gb", image)});
  }

  TempDir dir;
};

TEST_F(CardBackups, ABackupNeverTakesTheNameOfAnother) {
  const std::string folder = Folder().string();
  const std::time_t now = 1765000000;
  std::filesystem::create_directories(Folder());
  const std::string taken = folder + "/" + CardBackupName(16, now);
  velwin::testing::WriteBytes(taken, std::string_view("someone else's"));
  const Bytes first = Pattern(4096, 1);
  const Bytes second = Pattern(4096, 2);
  const std::string a = WriteCardBackup(folder, 16, now, first);
  const std::string b = WriteCardBackup(folder, 16, now, second);
  EXPECT_NE(a, taken);
  EXPECT_NE(a, b);
  EXPECT_TRUE(ReadBytes(a) == first);
  EXPECT_TRUE(ReadBytes(b) == second);
  const auto kept = ReadBytes(taken);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "someone else's");
}

TEST_F(CardBackups, KeptOnlyWhenTheWriteChangesTheCardAndNeverTwiceInARow) {
  const Bytes old = Pattern(kCardBytes, 1);
  dir.Write("card.gb", old);
  const Bytes game = Pattern(256 * 1024, 2);
  CommandRun run = Write(game);
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(Names().size(), 1u);
  const std::string first = (Folder() / Names()[0]).string();
  EXPECT_EQ(run.out, "Old card contents saved to " + first + "\nCard verified: 262144 bytes.\n");

  run = Write(game);  // the card holds it already
  EXPECT_EQ(run.out, "Card verified: 262144 bytes.\n");
  EXPECT_EQ(Names().size(), 1u);

  // The old card put back without a backup; the next write finds the newest
  // backup equal to the card and names it again.
  EXPECT_EQ(Card({"write", "--no-backup", "--port", Port(), first}).status, 0);
  run = Write(Pattern(64 * 1024, 3));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names().size(), 1u);
  EXPECT_NE(run.out.find("Old card contents saved to " + first), std::string::npos) << run.out;
}

// Backups of one second are listed in the order they were made, even where
// the file system's clock cannot tell them apart, and the last made is the
// newest that a write compares the card with.
TEST_F(CardBackups, ThoseOfOneSecondComeInTheOrderTheyWereMade) {
  const std::time_t now = 1765000000;
  std::vector<std::string> made;
  for (std::uint8_t n = 1; n <= 11; ++n)
    made.push_back(WriteCardBackup(Folder().string(), 16, now, Pattern(kCardBytes, n)));
  const auto tick = std::filesystem::last_write_time(made.front());
  for (const std::string& path : made)
    std::filesystem::last_write_time(path, tick);

  std::string listed;
  for (const std::string& path : made)
    listed += "{\"path\":\"" + path + "\"";
  std::string out = Card({"backups", "--json"}).out;
  std::string paths;
  for (std::size_t at = 0; (at = out.find("{\"path\":\"", at)) != std::string::npos; ++at)
    paths += out.substr(at, out.find('"', at + 9) + 1 - at);
  EXPECT_EQ(paths, listed);

  // The card holds what the last made backup holds: no new backup.
  dir.Write("card.gb", Pattern(kCardBytes, 11));
  const CommandRun run = Write(Pattern(16 * 1024, 12));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names().size(), made.size());
  EXPECT_NE(run.out.find("Old card contents saved to " + made.back() + "\n"), std::string::npos)
      << run.out;
}

TEST_F(CardBackups, ListsEveryBackupWithTheGamesItHolds) {
  EXPECT_EQ(Card({"backups"}).out, "No card backups in " + Folder().string() + ".\n");
  Bytes old = Pattern(kCardBytes, 1);
  PutHeader(old, 0, "OLD GAME", 0x05, 0x02);
  dir.Write("card.gb", old);
  ASSERT_EQ(Write(Pattern(32 * 1024, 2)).status, 0);
  ASSERT_EQ(Names().size(), 1u);
  const std::string path = (Folder() / Names()[0]).string();
  const CommandRun json = Card({"backups", "--json"});
  EXPECT_EQ(json.status, 0);
  const std::string start = "{\"folder\":\"" + Folder().string() + "\",\"backups\":[{\"path\":\"" +
                            path + "\",\"card\":16,\"bytes\":2097152,\"date\":\"";
  EXPECT_TRUE(json.out.starts_with(start)) << json.out;
  EXPECT_TRUE(json.out.ends_with("\",\"layout\":\"single cart\",\"games\":[\"OLD GAME\"]}]}\n"))
      << json.out;
  const CommandRun text = Card({"backups"});
  EXPECT_TRUE(text.out.starts_with(path + "\n  16 Mbit flash card, 2097152 bytes, ")) << text.out;
  EXPECT_TRUE(text.out.ends_with("\n  OLD GAME\n")) << text.out;
}

// A folder that may hold backups but cannot be read is not an empty one.
TEST_F(CardBackups, AFolderThatCannotBeReadIsSaidSo) {
  std::filesystem::create_directories(Folder().parent_path());
  velwin::testing::WriteBytes(Folder(), std::string_view("not a folder"));
  const CommandRun text = Card({"backups"});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out, "");
  EXPECT_NE(text.err.find("Cannot read the backup folder: "), std::string::npos) << text.err;
  const CommandRun json = Card({"backups", "--json"});
  EXPECT_EQ(json.status, 1);
  EXPECT_NE(json.out.find("\"backups\":null,\"error\":\"Cannot read the backup folder: "),
            std::string::npos)
      << json.out;
}

// Only temporary files of ours whose writer is gone: in the backup folder,
// and beside the FILE of a card read.
TEST_F(CardBackups, TemporaryFilesOfKilledJobsAreRemovedByTheNext) {
  dir.Write("card.gb", Pattern(kCardBytes, 1));
  std::filesystem::create_directories(Folder());
  const std::string gone = std::to_string(GonePid());
  const std::string running = std::to_string(::getppid());
  const std::string dead = ".card-1.gb." + gone + ".velwin-tmp";
  const std::string live = ".card-2.gb." + running + ".velwin-tmp";
  const std::string foreign = ".card-3.gb.velwin-tmp.keep";
  for (const std::string& name : {dead, live, foreign})
    velwin::testing::WriteBytes(Folder() / name, std::string_view("part"));
  ASSERT_EQ(Write(Pattern(16 * 1024, 2)).status, 0);
  const auto names = Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), dead), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), live), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), foreign), 1);

  const std::string leftover = dir.Write(".read.gb." + gone + ".velwin-tmp", std::string_view("x"));
  const std::string other = dir.Write(".read.gb." + running + ".velwin-tmp", std::string_view("x"));
  EXPECT_EQ(Card({"read", "--port", Port(), dir.File("read.gb")}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_TRUE(std::filesystem::exists(other));
}

// A killed job's name may never be written again: its leftover goes when
// any file is next written into that folder.
TEST_F(CardBackups, LeftoversOfOtherNamesGoWithTheNextFileInTheirFolder) {
  dir.Write("card.gb", Pattern(kCardBytes, 1));
  const std::string gone = std::to_string(GonePid());
  const std::string leftover = dir.Write(".once.gb." + gone + ".velwin-tmp", std::string_view("x"));
  const std::string link = dir.File(".link.gb." + gone + ".velwin-tmp");
  std::filesystem::create_symlink("card.gb", link);
  EXPECT_EQ(Card({"read", "--port", Port(), dir.File("read.gb")}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

// A backup that does not fit is reported by the folder that is full, not by
// the temporary file that is gone by then.
TEST_F(CardBackups, AFullDiskIsNamedByTheBackupFolder) {
  velwin::testing::SmallTmpfs disk(dir.Path() / "disk", "256k");
  if (!disk.Mounted())
    GTEST_SKIP() << "mounting a small file system is not allowed here";
  setenv("XDG_DATA_HOME", (dir.Path() / "disk").c_str(), 1);
  dir.Write("card.gb", Pattern(kCardBytes, 1));
  const CommandRun run = Write(Pattern(16 * 1024, 2));
  EXPECT_EQ(run.status, 1);
  const std::string folder = (dir.Path() / "disk/velwin/card-backups").string();
  EXPECT_NE(run.err.find("Backup not written: Disk full: " + folder + ". Nothing was erased."),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(CardBackups, NamesAreShownEscapedAndGivenInJsonAsTheirBytes) {
  dir.Write("card.gb", Pattern(kCardBytes, 1));
  setenv("XDG_DATA_HOME", dir.File("da\x1bta").c_str(), 1);
  const CommandRun write = Write(Pattern(16 * 1024, 2));
  EXPECT_EQ(write.status, 0) << write.err;
  EXPECT_TRUE(write.out.starts_with("Old card contents saved to " + dir.File("da\\x1bta")))
      << write.out;

  const std::string odd = dir.File("r\xE9\nad.gb");
  const CommandRun read = Card({"read", "--port", Port(), odd});
  EXPECT_EQ(read.out,
            "16 Mbit flash card read to " + dir.File("r\u00E9\\nad.gb") + " (2097152 bytes).\n");
  const CommandRun json = Card({"read", "--json", "--port", Port(), odd});
  EXPECT_NE(json.out.find("\"file\":\"" + dir.File("r\\udce9\\nad.gb") + "\""), std::string::npos)
      << json.out;
}

// A dangling link as FILE: the file it names is created, the link stays.
TEST_F(CardBackups, ADanglingLinkGivenAsFileGetsTheFileItNames) {
  dir.Write("card.gb", Pattern(kCardBytes, 1));
  const std::string link = dir.File("link.gb");
  std::filesystem::create_symlink("target.gb", link);
  EXPECT_EQ(Card({"read", "--port", Port(), link}).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(ReadBytes(dir.File("target.gb")) == ReadBytes(dir.File("card.gb")));
}

TEST_F(CardBackups, EveryFailureGivesAJsonObject) {
  dir.Write("card.gb", Pattern(kCardBytes, 1));
  const CommandRun empty =
      Card({"write", "--json", "--port", Port(), dir.Write("empty.gb", Bytes{})});
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(empty.out.starts_with("{\"card\":null,")) << empty.out;
  EXPECT_TRUE(empty.out.ends_with(",\"verified\":false,\"error\":\"the image is empty\"}\n"))
      << empty.out;
  for (const char* verb : {"read", "write", "list"}) {
    cli::Arguments args = {verb, "--json", "--port", "sim:card=99"};
    if (std::string(verb) != "list")
      args.push_back(dir.Write("image.gb", Pattern(1024, 1)));
    const CommandRun run = Card(args);
    EXPECT_EQ(run.status, 1) << verb;
    EXPECT_TRUE(run.out.starts_with(
        "{\"card\":null,\"cardName\":null,\"port\":\"sim:card=99\",\"error\":\""))
        << run.out;
  }
  if (!sramman::MachineHasParallelPort()) {
    const CommandRun direct = Card({"list", "--json", "--port", "direct"});
    EXPECT_TRUE(direct.out.ends_with(std::string(sramman::kNoParallelPortCliHint) + "\"}\n"))
        << direct.out;
  }
}

// "Card verified" only once the card's file holds the image too.
TEST_F(CardBackups, AWriteWhoseCardFileCannotBeWrittenBackIsNotVerified) {
  dir.Write("card.gb", Pattern(kCardBytes, 1));
  const std::string image = dir.Write("image.gb", Pattern(16 * 1024, 2));
  const std::string said = velwin::testing::RunWithFileSizeLimit(1024 * 1024, [&] {
    setenv("XDG_DATA_HOME", "/proc/nonexistent", 1);
    const CommandRun run = Card({"write", "--json", "--no-backup", "--port", Port(), image});
    return std::to_string(run.status) + run.out;
  });
  EXPECT_TRUE(said.starts_with("1{")) << said;
  EXPECT_NE(said.find("\"verified\":false"), std::string::npos) << said;
}

TEST(CancelOnSignals, ASignalIgnoredAtStartStaysIgnored) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  ::sigaction(SIGTERM, &ignore, &before);
  JobControl control;
  {
    cli::CancelOnSignals signals(control);
    ::raise(SIGTERM);
    EXPECT_FALSE(control.CancelRequested());
    ::raise(SIGINT);  // attended: asks to cancel
    EXPECT_TRUE(control.CancelRequested());
  }
  struct sigaction after {};
  ::sigaction(SIGTERM, &before, &after);
  EXPECT_EQ(after.sa_handler, SIG_IGN);
}

}  // namespace
}  // namespace velwin::card::testing
