// What a write says when it stops, and what it leaves behind, checked from
// the outside: the restore command pasted into bash, the current folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/cardwrite/card_write_fixture.h"
#include "tests/sram/test_carts.h"

namespace velwin::card::testing {
namespace {

// What bash makes of word: the bytes of the one argument it stands for.
std::string AsBashReadsIt(const TempDir& dir, const std::string& word) {
  const std::string script = dir.Write("hint.sh", "printf %s " + word + "\n");
  FILE* bash = ::popen(("bash " + script).c_str(), "r");
  if (bash == nullptr)
    return {};
  std::string text;
  char buffer[256];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, bash)) > 0;)
    text.append(buffer, got);
  ::pclose(bash);
  return text;
}

// The restore command after a failed write names the backup so that a
// pasted line finds it, whatever bytes its folder's name holds.
TEST_F(CardWrite, RestoreCommandGivesBashTheBackupByteForByte) {
  const Bytes old(512 * kKiB, 0x00);
  Bytes image = old;
  const Bytes pattern = Pattern(0x2000, 6);
  std::copy(pattern.begin(), pattern.end(), image.begin());
  const std::string imagePath = dir.Write("image.gb", image);
  for (const std::string home :
       {"plain data", "it's $HOME!", "da\nta\xff", "tab\there\x1b[31m", "caf\xc3\xa9\xc2\x85"}) {
    SCOPED_TRACE(home);
    const std::string data = dir.File(home);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::string port = Card("4", old, "badbyte=4660");
    const CommandRun run = Write({"--port", port, imagePath});
    ASSERT_EQ(run.status, 1);
    // On the port written through, the path after "--".
    const std::string lead = "To put it back: velwin-cli card write --port '" + port + "' -- ";
    const std::size_t at = run.err.find(lead);
    ASSERT_NE(at, std::string::npos) << run.err;
    const std::string word =
        run.err.substr(at + lead.size(), run.err.size() - 1 - at - lead.size());
    const auto folder = std::filesystem::path(data) / "velwin/card-backups";
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    const std::string backup = std::filesystem::directory_iterator(folder)->path().string();
    EXPECT_EQ(AsBashReadsIt(dir, word), backup) << word;
    // The message stays one line of printable text.
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    // Plain names keep their plain quotes.
    if (home == "plain data") {
      EXPECT_EQ(word, "'" + backup + "'");
    }
  }
}

// The demo card is the program's own and lives in memory: a write to it
// leaves no file anywhere, the current folder included.
TEST_F(CardWrite, DemoCardWriteLeavesNoFileInTheCurrentFolder) {
  const std::filesystem::path before = std::filesystem::current_path();
  const std::filesystem::path here = dir.Path() / "here";
  std::filesystem::create_directory(here);
  std::filesystem::current_path(here);
  const CommandRun run =
      Write({"--no-backup", "--port", "demo", dir.Write("image.gb", Pattern(64 * kKiB, 5))});
  std::filesystem::current_path(before);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(here));
}

}  // namespace
}  // namespace velwin::card::testing
