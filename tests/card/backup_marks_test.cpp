// What card backups says of each file in the backup folder, in the order
// they were made, and --remove, which deletes only backups the user names,
// and only once asked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/card/card_cli.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

namespace fs = std::filesystem;
using sramman::testing::Pattern;
using sramman::testing::PutHeader;
using velwin::testing::Bytes;
using velwin::testing::TempDir;

constexpr std::size_t k4Mbit = 512 * 1024;

// The global checksum as the header standard defines it: every byte of the
// game but the two that hold it, summed in 16 bits.
void PutGlobalChecksum(Bytes& rom, std::size_t length) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (i != 0x14E && i != 0x14F)
      sum = static_cast<std::uint16_t>(sum + rom[i]);
  }
  rom[0x14E] = static_cast<std::uint8_t>(sum >> 8);
  rom[0x14F] = static_cast<std::uint8_t>(sum & 0xFF);
}

// One game filling a 4 Mbit card; whole when its checksum holds.
Bytes Game(const char* title, bool whole) {
  Bytes rom = Pattern(k4Mbit, title[0]);
  PutHeader(rom, 0, title, 0x04, 0x02);
  PutGlobalChecksum(rom, k4Mbit);
  if (!whole)
    rom[k4Mbit / 2] ^= 0x5A;  // the second half as a stopped write leaves it
  return rom;
}

// Standard input on /dev/null while a command runs: nobody to ask.
class NoTerminal {
 public:
  NoTerminal() : saved_(::dup(STDIN_FILENO)) {
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::close(null);
  }
  ~NoTerminal() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }
  NoTerminal(const NoTerminal&) = delete;
  NoTerminal& operator=(const NoTerminal&) = delete;

 private:
  int saved_;
};

class BackupMarks : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    fs::create_directories(folder);
  }
  // A file of the folder, written minutes ago so the order is known.
  std::string Put(const std::string& name, const Bytes& bytes, int minutesAgo) {
    const fs::path path = folder / name;
    velwin::testing::WriteBytes(path, bytes);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(minutesAgo));
    return path.string();
  }

  TempDir dir;
  const fs::path folder = dir.Path() / "data/velwin/card-backups";
};

TEST_F(BackupMarks, EachBackupIsListedWithWhatIsWrongWithIt) {
  const std::string good = Put("card-2026-12-01-100000-4Mbit.gb", Game("GOODGAME", true), 50);
  const std::string partly = Put("card-2026-12-02-100000-4Mbit.gb", Game("EUROPA", false), 40);
  const std::string truncated = Put("card-2026-12-03-100000-16Mbit.gb", Game("SHORT", true), 30);
  const std::string noCard = Put("card-2026-12-04-100000.gb", Pattern(1000, 1), 20);
  const std::string link = (folder / "card-2026-12-05-100000-4Mbit.gb").string();
  fs::create_symlink(good, link);
  const std::string notes = Put("notes.txt", Pattern(10, 2), 10);
  const std::string cardFile = Put("card-2026-12-06-100000-4Mbit.gb", Game("OWN", true), 5);

  const CommandRun text = Card({"backups", "--port", "sim:card=4,rom=" + cardFile});
  ASSERT_EQ(text.status, 0) << text.err;
  const std::string out = text.out;
  const auto at = [&out](const std::string& path) { return out.find(path + "\n"); };
  EXPECT_LT(at(good), at(partly));
  EXPECT_LT(at(partly), at(truncated));
  EXPECT_LT(at(truncated), at(noCard));
  EXPECT_LT(at(noCard), at(cardFile));
  EXPECT_LT(at(cardFile), at(notes));
  EXPECT_NE(out.find(partly + "\n  4 Mbit flash card, 524288 bytes, 2026-"), std::string::npos);
  EXPECT_NE(out.find("  EUROPA\n  Note: may hold a partly written card: EUROPA fails its "
                     "global checksum.\n"),
            std::string::npos)
      << out;
  ASSERT_NE(out.find("  GOODGAME\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("  GOODGAME\n  Note"), std::string::npos) << "no note on a whole card";
  EXPECT_NE(out.find("  SHORT\n  Note: truncated: it holds 524288 of the 2097152 bytes"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  Not to be written: of no card: neither its name nor its size, 1000 "
                     "bytes, is a card's.\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  Not to be written: a symbolic link to " + good), std::string::npos);
  EXPECT_NE(out.find("  Not to be written: the simulated card's own file.\n"), std::string::npos);
  EXPECT_NE(out.find(notes + "\n  not a card backup, 10 bytes"), std::string::npos) << out;
  const std::uint64_t total = 4 * k4Mbit + 1000 + 10;
  EXPECT_TRUE(
      out.ends_with("\n7 files, " + std::to_string(total) + " bytes in " + folder.string() + ".\n"))
      << out;

  const CommandRun json = Card({"backups", "--json"});
  EXPECT_NE(json.out.find("\"games\":[\"EUROPA\"],\"partlyWritten\":true,\"warnings\":[\"may "
                          "hold a partly written card: EUROPA fails its global checksum\"],"
                          "\"refusal\":null}"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"games\":[\"GOODGAME\"],\"partlyWritten\":false,\"warnings\":[],"),
            std::string::npos);
  EXPECT_NE(json.out.find("{\"path\":\"" + link + "\",\"kind\":\"link\",\"card\":null"),
            std::string::npos)
      << json.out;
  EXPECT_TRUE(json.out.ends_with("],\"totalBytes\":" + std::to_string(total) + "}\n"));
}

TEST_F(BackupMarks, RemoveDeletesOnlyNamedBackupsAndOnlyWhenToldTo) {
  const std::string older = Put("card-2026-12-01-100000-4Mbit.gb", Game("OLD", true), 20);
  const std::string newer = Put("card-2026-12-02-100000-4Mbit.gb", Game("NEW", true), 10);
  const std::string link = (folder / "card-2026-12-03-100000-4Mbit.gb").string();
  fs::create_symlink(older, link);
  const std::string notes = Put("notes.txt", Pattern(10, 2), 5);
  const std::string outside = dir.Write("card-2026-12-04-100000-4Mbit.gb", Game("AWAY", true));
  const NoTerminal noTerminal;

  // One name that is not a backup of the folder removes nothing at all.
  for (const std::string& wrong : {notes, outside, (folder / "card-x.gb").string()}) {
    const CommandRun run = Card({"backups", "--remove", newer, wrong, "--yes"});
    EXPECT_EQ(run.status, 1) << wrong;
    EXPECT_NE(run.err.find("nothing removed"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(newer));
    EXPECT_TRUE(fs::exists(wrong) || wrong.ends_with("card-x.gb"));
  }
  // Nobody to ask and no --yes: refused.
  const CommandRun unasked = Card({"backups", "--remove", newer});
  EXPECT_EQ(unasked.status, 2);
  EXPECT_NE(unasked.err.find("give --yes"), std::string::npos) << unasked.err;
  EXPECT_TRUE(fs::exists(newer));

  const CommandRun run = Card({"backups", "--yes", "--remove", newer, link});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Removed " + newer + "\nRemoved " + link + "\n");
  EXPECT_FALSE(fs::exists(newer));
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_TRUE(fs::exists(older)) << "a link goes, not the backup it names";
  EXPECT_TRUE(fs::exists(notes));
  EXPECT_EQ(Card({"backups", "--remove"}).status, 2);
}

}  // namespace
}  // namespace velwin::card::testing
