#pragma once

#include <string>
#include <utility>

#include "fileio/byte_file.h"

namespace velwin::fileio {

// A file that replaces the one at its path only once it is complete, so a
// failure at any point leaves the earlier file as it was (a backup must never
// be made worse by the save that should refresh it).
//
// The bytes go to ".NAME.PID.velwin-tmp" beside the target, PID being the
// writing process's; Commit() flushes it to disk, renames it over the target
// and flushes the folder. Dropping the object without a commit removes the
// temporary file. A program killed half-way leaves it behind; the next save
// into the same folder removes it first, whatever its target, but only when
// it is a plain file of this user and no process of that PID runs any more,
// so two programs saving at once never delete each other's bytes. A symbolic link at the path is
// followed, also a dangling one (the save then creates the file it names): the file it points to is
// replaced and the link stays. A replaced file keeps its permission bits; a new one gets those a
// plain create gives (0666 less the umask). A character device (such as /dev/full) cannot be
// renamed over and is written directly. (On Windows the rename would map to MoveFileEx with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH.)
class AtomicFile {
 public:
  // Checks the target and creates the temporary file. Fails as creating the
  // target itself would: a folder (EISDIR), a write-protected file or
  // folder (EACCES), a missing folder (ENOENT).
  static AtomicFile Begin(const std::string& path);

  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&&) = delete;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  // Where the bytes go until the commit.
  ByteFile& File() { return file_; }

  // Flushes the file, puts it in the target's place and flushes the folder.
  // Throws FileError; before the rename the target is still untouched.
  void Commit();
  // As Commit(), but only when no file of the target's name exists yet:
  // throws FileError(EEXIST) and leaves the earlier file alone otherwise.
  // For files that must never replace one another, such as backups.
  void CommitNew();

  // This process's temporary file name for a target, beside it.
  static std::string TempPathFor(const std::string& target);
  // Removes what killed writers of path left behind, if anything.
  static void RemoveLeftover(const std::string& path);
  // Removes every temporary file of this kind in folder whose writer is
  // gone, whatever target it was for. Files of other programs and other
  // users, and those of a process still running, stay.
  static void RemoveLeftoversIn(const std::string& folder);

 private:
  AtomicFile(std::string target, std::string temp, ByteFile file)
      : target_(std::move(target)), temp_(std::move(temp)), file_(std::move(file)) {}

  std::string target_;  // the link resolved
  std::string temp_;    // empty when writing a device directly
  ByteFile file_;
  bool done_ = false;
};

}  // namespace velwin::fileio
