#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velwin::xchanger {

// A lock that one velwin process holds on a port, or on a file the
// simulated cart keeps, while it drives it: the window and every
// velwin-cli take it, so that two jobs never interleave their accesses on
// one X-Changer. It is an flock() on a small file that names the holder's
// process; the kernel drops it when the process ends however it ends, so a
// killed job never leaves the port locked. A release removes the file; a
// killed job's file stays until the next job takes and releases it.
class PortLock {
 public:
  enum class Outcome {
    kTaken,
    kBusy,         // another process holds it
    kUnavailable,  // no lock file could be made: the job goes on unlocked
  };

  PortLock() = default;
  ~PortLock();
  PortLock(PortLock&& other) noexcept;
  PortLock& operator=(PortLock&& other) noexcept;
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Takes the lock named key in folder without waiting. When another
  // process holds it, holder is the process it wrote down (0 if unknown).
  Outcome Take(const std::string& key, const std::filesystem::path& folder, long& holder);
  void Release();

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// Where the lock files live: /run/lock when this user may write there, as
// every user of the machine sees it; else $XDG_RUNTIME_DIR; else the
// temporary folder.
std::filesystem::path PortLockFolder();

// The lock keys of what a port description drives: the I/O base of each
// parallel port ("port-0x378"), where the kernel or the user names it, so
// that ppdev and direct access to one port exclude each other; else the
// device number of its node; and the rom= and sram= files of a simulated
// cart, each by its name and by its device and inode. Whatever names a
// port or file reach it by, they share a key. None for a simulated cart
// that keeps everything in memory.
std::vector<std::string> PortLockKeys(const std::string& description);

// The value of key= in a simulated port's description ("rom" of
// "sim:card=16,rom=FILE"), empty when absent or for any other port. A path
// there holds no comma: the settings split at each.
std::string_view SimSetting(std::string_view description, std::string_view key);

// "The X-Changer on PORT is in use by another velwin (process N)."
std::string PortInUseText(const std::string& port, long holder);

}  // namespace velwin::xchanger
