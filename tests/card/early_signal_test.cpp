// A signal that comes before a card job has begun, in velwin-cli itself: it
// must reach the job, which stops and says so, and not end the program
// without a word.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::card::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

struct Ended {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
};

// Runs velwin-cli with words, with signal already sent to it when it
// starts: blocked and pending, as one that came before its first
// instruction ran.
Ended RunWithEarlySignal(int signal, const std::vector<std::string>& words, const TempDir& dir) {
  const std::string outPath = dir.File("stdout");
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = ::open("/dev/null", O_WRONLY);
    if (out < 0 || null < 0 || ::dup2(out, 1) < 0 || ::dup2(null, 2) < 0)
      ::_exit(120);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    ::raise(signal);
    std::vector<char*> argv{const_cast<char*>(VELWIN_CLI_BINARY)};
    for (const std::string& word : words)
      argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    ::execv(VELWIN_CLI_BINARY, argv.data());
    ::_exit(121);
  }
  Ended ended;
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child)
    return ended;
  ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const auto bytes = ReadBytes(outPath);
  ended.out.assign(bytes.begin(), bytes.end());
  return ended;
}

TEST(EarlySignal, CancelsTheCardJobWhichStillGivesItsResult) {
  TempDir dir;
  const std::string port =
      "sim:card=4,rom=" + dir.Write("card.gb", sramman::testing::Pattern(512 * 1024, 1));
  const std::string file = dir.Write("read.gb", std::string_view("old"));
  for (const auto& [signal, status] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
    const Ended read =
        RunWithEarlySignal(signal, {"card", "read", "--json", "--port", port, file}, dir);
    EXPECT_EQ(read.status, status);
    EXPECT_EQ(read.out, "{\"card\":4,\"cardName\":\"4 Mbit flash card\",\"file\":\"" + file +
                            "\",\"error\":\"Cancelled; nothing written.\"}\n");
    EXPECT_EQ(ReadBytes(file).size(), 3u);
  }
}

}  // namespace
}  // namespace velwin::card::testing
