#pragma once

// Helpers for tests that work on real files: a private temporary directory,
// files made read-only in a way that binds root too, and a child process
// whose file size limit stands in for a full disk.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velwin::testing {

using Bytes = std::vector<std::uint8_t>;

inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in)
    return {};
  Bytes bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// A directory of its own for every test, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name) {
      if (c == '/')
        c = '_';
    }
    dir_ = std::filesystem::temp_directory_path() /
           ("velwin-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::filesystem::path dir_;
};

// Sets the immutable attribute for its lifetime: unlike permission bits it
// stops writes by root as well. Permitted() is false where the file system
// or the container does not allow it; tests then skip.
class ImmutableFile {
 public:
  explicit ImmutableFile(std::filesystem::path path) : path_(std::move(path)) {
    permitted_ = SetFlag(true);
  }
  ~ImmutableFile() {
    if (permitted_)
      SetFlag(false);
  }
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;

  bool Permitted() const { return permitted_; }

 private:
  bool SetFlag(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
      return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
  }

  std::filesystem::path path_;
  bool permitted_ = false;
};

// Runs action in a child process whose files may not grow beyond
// limitBytes, with SIGXFSZ ignored, so that writes past the limit fail with
// EFBIG as they would on a full disk. Returns what action returned in the
// child. The limit never touches the test process itself.
inline std::string RunWithFileSizeLimit(rlim_t limitBytes,
                                        const std::function<std::string()>& action) {
  int fds[2];
  if (::pipe(fds) != 0)
    return "pipe failed";
  const pid_t pid = ::fork();
  if (pid < 0)
    return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limitBytes;
    std::string result = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? action() : "setrlimit failed";
    const char* p = result.data();
    std::size_t left = result.size();
    while (left > 0) {
      const ssize_t n = ::write(fds[1], p, left);
      if (n <= 0)
        break;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char chunk[256];
  ssize_t n;
  while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0)
      result.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child failed";
  return result;
}

}  // namespace velwin::testing
