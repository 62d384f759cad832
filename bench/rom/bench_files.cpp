#include "bench/rom/bench_files.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "tests/support/rom_image.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace velwin::rom::bench {

const std::filesystem::path& BenchDirectory() {
  static const testing::TempDir directory;
  return directory.Path();
}

std::vector<std::uint8_t> MakeRom(std::size_t size, std::size_t codeBytes, std::uint8_t filler,
                                  unsigned seed) {
  testing::RomImage rom(size);
  rom.Fill(0, size, filler);
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < codeBytes && i < size; ++i) {
    rom.Set(i, static_cast<std::uint8_t>(random()));
  }
  rom.WithLogo().Set(0x143, 0x80).RomSizeCode(0x06);
  return rom.Bytes();
}

std::uint64_t ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    std::abort();
  // 128 KiB on a page, as cat reads: the kernel copies into a buffer that
  // does not start on a page (malloc's) several times slower on some
  // processors, which made every ratio against this baseline look better
  // than it was.
  constexpr std::size_t kPiece = 128 * 1024;
  std::vector<char> storage(kPiece + 4096);
  char* buffer = storage.data() + (4096 - reinterpret_cast<std::uintptr_t>(storage.data()) % 4096);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, kPiece);
    if (n <= 0)
      break;
    total += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  return total;
}

void EvictFromCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    std::abort();
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

int RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0)
    return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status))
    return -1;
  return WEXITSTATUS(status);
}

}  // namespace velwin::rom::bench
