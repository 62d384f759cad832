#include "mainwindow/flash/flash_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "mainwindow/flash/prefix_copy.h"

namespace velwin::flash {
namespace {

namespace fs = std::filesystem;

// The tool numbers nothing itself: the copies' names are the list
// positions, and clean-up only ever knows these 256.
constexpr int kScratchCopyNames = 256;

fs::path ScratchDirectory(const std::string& baseDirectory) {
  return fs::path(baseDirectory) / kScratchDirectory;
}

fs::path CopyPath(const fs::path& scratch, std::size_t position) {
  return scratch / (std::to_string(position) + ".stp");
}

bool IsDirectory(const fs::path& path, int& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = errno;
    return false;
  }
  // Something that is not a directory stands where the scratch directory
  // belongs; it is the user's and is left alone.
  error = S_ISDIR(st.st_mode) ? 0 : EACCES;
  return error == 0;
}

// Makes sure the scratch directory exists and holds no copies of an earlier
// job.
void PrepareScratchDirectory(const std::string& baseDirectory) {
  const fs::path scratch = ScratchDirectory(baseDirectory);
  int error = 0;
  if (IsDirectory(scratch, error)) {
    ClearScratchCopies(baseDirectory);
    return;
  }
  if (error != ENOENT)
    throw fileio::FileError(error);
  if (::mkdir(scratch.c_str(), 0777) == 0)
    return;
  error = errno;
  // Someone else made it meanwhile: as good as made here. Anything else in
  // its place (a dangling link, say) is in the way.
  if (error == EEXIST) {
    int again = 0;
    if (IsDirectory(scratch, again))
      return;
    error = EACCES;
  }
  throw fileio::FileError(error);
}

std::int64_t WholeBlocks(std::int64_t size) {
  return std::max<std::int64_t>(size, 0) / rom::kStripBlock * rom::kStripBlock;
}

}  // namespace

void ClearScratchCopies(const std::string& baseDirectory) {
  const fs::path scratch = ScratchDirectory(baseDirectory);
  for (int i = 0; i < kScratchCopyNames; ++i) {
    // unlink, not remove: a directory of that name is not a copy.
    ::unlink(CopyPath(scratch, static_cast<std::size_t>(i)).c_str());
  }
}

void RunFlashJob(const std::vector<std::string>& romPaths, rom::RomAnalyser& analyser,
                 ToolLauncher& launcher, const std::string& baseDirectory) {
  PrepareScratchDirectory(baseDirectory);
  const fs::path scratch = ScratchDirectory(baseDirectory);

  for (std::size_t position = 0; position < romPaths.size(); ++position) {
    const std::string& path = romPaths[position];
    // Shows the progress and refreshes the ROM information; a failed
    // analysis does not stop the job, a ROM that cannot be opened does.
    const rom::RomAnalysis analysis = analyser.AnalyseRomFile(path, true);

    // Only read: a write-protected ROM can be flashed.
    auto romFile = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
    // A fresh file, not the old one truncated: past 255.stp stale names
    // survive the clean-up, and one that is a link would otherwise have its
    // target overwritten. A tool still reading the old copy keeps it, too.
    const fs::path copyPath = CopyPath(scratch, position);
    ::unlink(copyPath.c_str());
    auto copy = fileio::ByteFile::Create(copyPath.string());
    // The size this analysis measured; when it measured none (a file too
    // short for a header), measure it now rather than take what an earlier
    // file left in the labels.
    const std::int64_t stripped =
        analysis.strippedSize ? *analysis.strippedSize : rom::StrippedSize(path);
    CopyPrefix(romFile, copy, WholeBlocks(stripped));
    romFile.Close();
    copy.Close();
  }

  launcher.Start(kToolProgram, {kToolPattern}, scratch.string());
}

}  // namespace velwin::flash
