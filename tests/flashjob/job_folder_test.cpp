// Where the flash job works when the program was started from the menu.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "flashjob/flash_job.h"
#include "flashjob/job_folder.h"
#include "rom/rom_analysis.h"
#include "rom/status_line.h"
#include "tests/support/recording_launcher.h"
#include "tests/support/temp_dir.h"

namespace velwin::flash {
namespace {

EnvironmentLookup Env(const char* data, const char* home) {
  return [data, home](const char* name) -> const char* {
    const std::string wanted = name;
    return wanted == "XDG_DATA_HOME" ? data : wanted == "HOME" ? home : nullptr;
  };
}

TEST(FlashJobFolder, TheStartingFolderUnlessTheDesktopChoseIt) {
  EXPECT_EQ(FlashJobFolder(false, "/home/u/games", Env(nullptr, "/home/u")), ".");
  // A terminal opened in the home folder is still the user's choice.
  EXPECT_EQ(FlashJobFolder(false, "/home/u", Env(nullptr, "/home/u")), ".");
  EXPECT_EQ(FlashJobFolder(true, "/home/u", Env(nullptr, "/home/u")),
            "/home/u/.local/share/velwin/veltra");
  EXPECT_EQ(FlashJobFolder(false, "/", Env("/data", "/home/u")), "/data/velwin/veltra");
  // A relative XDG_DATA_HOME counts for nothing, as the XDG rules say.
  EXPECT_EQ(FlashJobFolder(true, "/", Env("data", "/home/u")),
            "/home/u/.local/share/velwin/veltra");
  EXPECT_EQ(FlashJobFolder(true, "/", Env(nullptr, nullptr)), ".");
}

TEST(FlashJobFolder, AFolderOfItsOwnIsMadeAndNamedWholeWhenTheToolIsMissing) {
  const velwin::testing::TempDir dir;
  const std::string base = dir.File("share/velwin/veltra");
  rom::RomInfoLabels labels;
  rom::MemoryStatusLine status;
  rom::RomAnalyser analyser(labels, status);
  testing::RecordingLauncher launcher;
  launcher.failure = std::make_error_code(std::errc::no_such_file_or_directory);
  try {
    RunFlashJob({}, analyser, launcher, base, {}, true);
    ADD_FAILURE() << "the missing tool went unreported";
  } catch (const FlashJobError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot start \"" + base +
                  "/veltra\": No such file or directory. Put the VELTRA tool in " + base +
                  ", next to the paldmi.tmp folder.");
    EXPECT_TRUE(error.toolMissing());
  }
  EXPECT_TRUE(std::filesystem::is_directory(base + "/paldmi.tmp"));
}

}  // namespace
}  // namespace velwin::flash
