#include "flashjob/flash_job.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string_view>

#include "fileio/byte_file.h"
#include "fileio/file_error.h"
#include "flashjob/prefix_copy.h"
#include "rom/stripped_size.h"

namespace velwin::flash {
namespace {

namespace fs = std::filesystem;

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

// Makes sure the scratch directory (and a folder of the program's own for
// it, with ownFolder) exists and holds no copies of an earlier
// job.
void PrepareScratchDirectory(const std::string& baseDirectory, bool ownFolder) {
  // A folder of the program's own choosing may not be there yet.
  if (ownFolder) {
    std::error_code made;
    fs::create_directories(baseDirectory, made);
    if (made)
      throw fileio::FileError(made.value(), baseDirectory);
  }
  const fs::path scratch = ScratchDirectory(baseDirectory);
  int error = 0;
  if (IsDirectory(scratch, error)) {
    ClearScratchCopies(baseDirectory);
    return;
  }
  if (error != ENOENT)
    throw fileio::FileError(error, scratch.string());
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
  throw fileio::FileError(error, scratch.string());
}

std::int64_t WholeBlocks(std::int64_t size) {
  return std::max<std::int64_t>(size, 0) / rom::kStripBlock * rom::kStripBlock;
}

// The copies' names are the list positions. Any such name is a copy, of
// this job or of an earlier, longer list; the tool takes every *.stp it
// finds, so one left behind would end up on the card.
bool IsCopyName(std::string_view name) {
  constexpr std::string_view kExtension = ".stp";
  if (name.size() <= kExtension.size() || !name.ends_with(kExtension))
    return false;
  name.remove_suffix(kExtension.size());
  return std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Why the job must not copy a ROM, from what its analysis found; empty when
// it may. Every entry passed the header test when it was listed, but the
// file may have changed since.
std::string RefusalCause(const rom::RomAnalysis& analysis) {
  if (!analysis.ok) {
    return analysis.systemError != 0 ? fileio::RuntimeText(analysis.systemError)
                                     : "File shorter than a Game Boy header";
  }
  if (!analysis.isGameBoyRom)
    return "No Game Boy header";
  // A readable file measures at least one block; 0 means the file stopped
  // reading after its header, and an empty copy would flash as a blank ROM.
  if (analysis.strippedSize.value_or(0) <= 0)
    return "File could not be read to its end";
  return {};
}

FlashJobError RomRefused(const std::string& path, const std::string& cause) {
  std::string reason =
      cause + ". VELTRA was not started; check the file or remove it from the list.";
  return FlashJobError("Cannot copy \"" + path + "\": " + reason, path, reason);
}

// In the folder the program was started in, the tool is named as it is
// run, relative to the scratch directory; in a folder of the program's own
// choosing, by its whole path, since the user has to put it there.
FlashJobError ToolNotStarted(const std::error_code& error, const std::string& baseDirectory,
                             bool wholePaths) {
  const bool missing =
      error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
  const bool ownFolder = !wholePaths;
  const std::string program = ownFolder ? kToolProgram : baseDirectory + "/veltra";
  const std::string where = ownFolder ? "next to the paldmi.tmp folder"
                                      : "in " + baseDirectory + ", next to the paldmi.tmp folder";
  std::string reason =
      error.message() + ". " +
      (missing ? "Put the VELTRA tool " + where + "."
               : "Make sure the VELTRA tool " + where + " is a program you may run.");
  return FlashJobError("Cannot start \"" + program + "\": " + reason, program, reason, missing);
}

// Writes the stripped copy of one analysed ROM. The copy must get the size
// the analysis measured: the first stripped-size bytes, or the whole file
// when it is shorter. A file cut or rewritten since its analysis gives
// another size (or none), and half a ROM must not go onto the card.
void WriteCopy(const std::string& path, const rom::RomAnalysis& analysis,
               const fs::path& copyPath) {
  // Only read: a write-protected ROM can be flashed.
  auto romFile = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
  // The clean-up has just unlinked every numbered name, links included,
  // so this makes a fresh file: no old link is followed, and a tool still
  // reading an old copy keeps it.
  auto copy = fileio::ByteFile::Create(copyPath.string());
  // The size this analysis measured, never a caption an earlier file
  // left in the labels.
  const std::int64_t analysedSize = analysis.fileSize.value_or(0);
  const std::int64_t wanted =
      std::min(WholeBlocks(analysis.strippedSize.value_or(0)), analysedSize);
  const std::int64_t sizeNow = romFile.Size();
  const std::int64_t copied = CopyPrefix(romFile, copy, wanted);
  romFile.Close();
  copy.Close();
  if (sizeNow != analysedSize || copied != wanted) {
    throw RomRefused(path, "File changed since its analysis (" + std::to_string(sizeNow) +
                               " bytes now, " + std::to_string(analysedSize) + " before)");
  }
}

}  // namespace

void ClearScratchCopies(const std::string& baseDirectory) {
  // One pass over the directory finds every copy, however long the list
  // that wrote them; the names are gathered first so that deleting never
  // disturbs the reading.
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(ScratchDirectory(baseDirectory).c_str()));
  if (!dir)
    return;
  std::vector<std::string> copies;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_type != DT_DIR && IsCopyName(entry->d_name))
      copies.emplace_back(entry->d_name);
  }
  for (const std::string& name : copies) {
    // unlinkat without AT_REMOVEDIR: a directory of that name is not a copy.
    ::unlinkat(::dirfd(dir.get()), name.c_str(), 0);
  }
}

void RunFlashJob(const std::vector<std::string>& romPaths, rom::RomAnalyser& analyser,
                 ToolLauncher& launcher, const std::string& baseDirectory,
                 const AfterAnalysis& afterAnalysis, bool wholePaths) {
  PrepareScratchDirectory(baseDirectory, wholePaths);
  const fs::path scratch = ScratchDirectory(baseDirectory);

  try {
    for (std::size_t position = 0; position < romPaths.size(); ++position) {
      const std::string& path = romPaths[position];
      // Shows the progress and refreshes the ROM information. A file that
      // no longer analyses as a cartridge image must not reach the card,
      // not even in part: nothing of this job is left for the tool.
      const rom::RomAnalysis analysis = analyser.AnalyseRomFile(path, true);
      if (const std::string cause = RefusalCause(analysis); !cause.empty())
        throw RomRefused(path, cause);
      if (afterAnalysis)
        afterAnalysis(path);
      WriteCopy(path, analysis, CopyPath(scratch, position));
    }
  } catch (...) {
    ClearScratchCopies(baseDirectory);
    throw;
  }

  // The copies stay when the tool cannot start, so it can be run by hand.
  if (const std::error_code error = launcher.Start(kToolProgram, {kToolPattern}, scratch.string()))
    throw ToolNotStarted(error, baseDirectory, wholePaths);
}

}  // namespace velwin::flash
