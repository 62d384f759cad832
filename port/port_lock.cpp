#include "port/port_lock.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "port/direct_port.h"
#include "port/parport_sysctl.h"

#ifdef __unix__
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace velwin::xchanger {

namespace {

std::string PortKey(std::uint16_t base) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (int shift = 12; shift >= 0; shift -= 4)
    hex += kDigits[(base >> shift) & 0xFu];
  return "port-0x" + hex;
}

std::string CanonicalPath(std::string_view path) {
  std::error_code ignored;
  const auto canonical = std::filesystem::weakly_canonical(std::filesystem::path(path), ignored);
  return canonical.empty() ? std::string(path) : canonical.string();
}

#ifdef __unix__
// The parallel-port devices' major number: /dev/parportN is (99, N).
constexpr unsigned kParportMajor = 99;
#endif

// A file of the simulated cart is locked by its name and, while it exists,
// by what it is (its device and inode), so that a hard link or another
// mount of it is the same lock. The name stays a key too: a file that a job
// creates, or replaces by renaming a new one over it, is another inode
// from then on, but it is still the file the next job of that name reads.
// The inode's birth time belongs to the key where the file system keeps
// one: a file system hands a freed inode number to the next file made, and
// a velwin still holding a file it has since deleted would otherwise lock
// out an unrelated new file.
std::vector<std::string> FileKeys(std::string_view path) {
  std::vector<std::string> keys{"file:" + CanonicalPath(path)};
#ifdef __unix__
  struct statx st {};
  if (::statx(AT_FDCWD, std::string(path).c_str(), 0, STATX_TYPE | STATX_INO | STATX_BTIME, &st) ==
          0 &&
      S_ISREG(st.stx_mode)) {
    std::string key = "inode-" + std::to_string(makedev(st.stx_dev_major, st.stx_dev_minor)) + "-" +
                      std::to_string(st.stx_ino);
    if ((st.stx_mask & STATX_BTIME) != 0)
      key += "-" + std::to_string(st.stx_btime.tv_sec) + "." + std::to_string(st.stx_btime.tv_nsec);
    keys.push_back(std::move(key));
  }
#endif
  return keys;
}

// A parallel port is one lock however it is reached: by its I/O base where
// the kernel lists it, so that ppdev and direct access exclude each other;
// else by the device number of its node, so that a second node made for
// the same device is the same lock. "/dev/parport3" names the kernel's
// port 3 even where its node is missing.
std::string DeviceKey(std::string_view device) {
  const std::string path = CanonicalPath(device);
  int number = -1;
  std::string key = path;
#ifdef __unix__
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
    key = "chardev-" + std::to_string(major(st.st_rdev)) + "-" + std::to_string(minor(st.st_rdev));
    if (major(st.st_rdev) == kParportMajor)
      number = static_cast<int>(minor(st.st_rdev));
  } else if (constexpr std::string_view kPrefix = "/dev/parport"; path.starts_with(kPrefix)) {
    const char* digits = path.data() + kPrefix.size();
    const auto [end, ec] = std::from_chars(digits, path.data() + path.size(), number);
    if (ec != std::errc() || end != path.data() + path.size() || number < 0)
      number = -1;
    else
      key = "chardev-" + std::to_string(kParportMajor) + "-" + std::to_string(number);
  }
#endif
  if (number >= 0) {
    if (const std::uint16_t base = ReadParportBase(kParportSysctlRoot, number + 1); base != 0)
      return PortKey(base);
  }
  return key;
}

// The lock file's name: readable for whoever looks into the folder, and
// told apart by a hash of the whole key.
std::string LockFileName(const std::string& key) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  std::string readable;
  for (const char c : key) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.';
    if (readable.size() < 60)
      readable += plain ? c : '_';
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (int shift = 60; shift >= 0; shift -= 4)
    hex += kDigits[(hash >> shift) & 0xFu];
  return "velwin-" + readable + "-" + hex + ".lock";
}

}  // namespace

std::string_view SimSetting(std::string_view description, std::string_view key) {
  if (!description.starts_with("sim:"))
    return {};
  std::string_view settings = description.substr(4);
  while (!settings.empty()) {
    const auto comma = settings.find(',');
    const std::string_view item = settings.substr(0, comma);
    if (item.size() > key.size() && item.compare(0, key.size(), key) == 0 &&
        item[key.size()] == '=')
      return item.substr(key.size() + 1);
    settings = comma == std::string_view::npos ? std::string_view() : settings.substr(comma + 1);
  }
  return {};
}

std::vector<std::string> PortLockKeys(const std::string& description) {
  const std::string_view text = description;
  std::vector<std::string> keys;
  if (text.rfind("sim:", 0) == 0) {
    for (const std::string_view key : {"rom", "sram"}) {
      const std::string_view path = SimSetting(text, key);
      if (!path.empty()) {
        for (std::string& fileKey : FileKeys(path))
          keys.push_back(std::move(fileKey));
      }
    }
  } else if (text == "ppdev") {
    keys.push_back(DeviceKey("/dev/parport0"));
    std::error_code ignored;
    if (std::filesystem::exists("/dev/parport1", ignored))
      keys.push_back(DeviceKey("/dev/parport1"));
  } else if (text.rfind("ppdev:", 0) == 0 && text.size() > 6) {
    keys.push_back(DeviceKey(text.substr(6)));
  } else if (text == "direct") {
    for (const int n : {1, 2}) {
      if (const std::uint16_t base = ReadParportBase(kParportSysctlRoot, n); base != 0)
        keys.push_back(PortKey(base));
    }
  } else if (text.rfind("direct:", 0) == 0) {
    // "0x378" and "888" are one port.
    std::string_view list = text.substr(7);
    while (!list.empty()) {
      const auto comma = list.find(',');
      // Read as the direct backend reads it, or the lock would guard
      // another port than the one driven.
      std::uint16_t base = 0;
      if (ParsePortBase(list.substr(0, comma), base) && base != 0)
        keys.push_back(PortKey(base));
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
  }
  // A key given twice (rom= and sram= one file) is one lock: a second
  // flock() of it would wait for the first.
  std::vector<std::string> unique;
  for (auto& key : keys) {
    if (std::find(unique.begin(), unique.end(), key) == unique.end())
      unique.push_back(std::move(key));
  }
  return unique;
}

std::string PortInUseText(const std::string& port, long holder) {
  return "The X-Changer on " + port + " is in use by another velwin (process " +
         std::to_string(holder) + ").";
}

std::filesystem::path PortLockFolder() {
#ifdef __unix__
  if (::access("/run/lock", W_OK | X_OK) == 0)
    return "/run/lock";
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime == '/' && ::access(runtime, W_OK | X_OK) == 0)
    return runtime;
#endif
  std::error_code ignored;
  return std::filesystem::temp_directory_path(ignored);
}

PortLock::~PortLock() {
  Release();
}

PortLock::PortLock(PortLock&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

PortLock& PortLock::operator=(PortLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

#ifdef __unix__

namespace {

// Opens the lock file, making it if need be. Another user's lock file in a
// shared sticky folder is opened without O_CREAT, which the kernel's
// protection of such folders would refuse, and made writable for all so
// that every user can write their process into it.
int OpenLockFile(const std::filesystem::path& path) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    if (fd >= 0 || errno != ENOENT) {
      if (fd < 0 && errno == EACCES)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
      return fd;
    }
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
    if (fd >= 0) {
      ::fchmod(fd, 0666);
      return fd;
    }
    if (errno != EEXIST)
      return -1;
  }
  return -1;
}

long ReadHolder(int fd) {
  // The holder writes its number just after it takes the lock: give it a
  // moment when the file is still empty.
  for (int attempt = 0; attempt < 20; ++attempt) {
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    long pid = 0;
    if (got > 0 && std::from_chars(text, text + got, pid).ec == std::errc() && pid > 0)
      return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

}  // namespace

PortLock::Outcome PortLock::Take(const std::string& key, const std::filesystem::path& folder,
                                 long& holder) {
  Release();
  holder = 0;
  const std::filesystem::path path = folder / LockFileName(key);
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    if (attempt == 5 || (fd = OpenLockFile(path)) < 0)
      return Outcome::kUnavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      if (busy)
        holder = ReadHolder(fd);
      ::close(fd);
      return busy ? Outcome::kBusy : Outcome::kUnavailable;
    }
    // The last holder may have removed the file between our open and our
    // lock: a lock on a file that no longer has the name guards nothing.
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd, &locked) != 0 || ::stat(path.c_str(), &named) != 0 ||
        locked.st_ino != named.st_ino || locked.st_dev != named.st_dev) {
      ::close(fd);
      fd = -1;
    }
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    // A file opened for reading only cannot take the number; the lock
    // holds all the same.
    [[maybe_unused]] const ssize_t put = ::pwrite(fd, pid.data(), pid.size(), 0);
  }
  fd_ = fd;
  path_ = path;
  return Outcome::kTaken;
}

void PortLock::Release() {
  if (fd_ >= 0) {
    // Removed while still locked, so that whoever opened it meanwhile
    // finds the name gone once it has the lock, and starts again. Another
    // user's file in a shared folder cannot be removed and stays.
    ::unlink(path_.c_str());
    // Closing the last descriptor drops the flock.
    ::close(fd_);
    fd_ = -1;
  }
}

#else

PortLock::Outcome PortLock::Take(const std::string&, const std::filesystem::path&, long& holder) {
  holder = 0;
  return Outcome::kUnavailable;
}

void PortLock::Release() {}

#endif

}  // namespace velwin::xchanger
