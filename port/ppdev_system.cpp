#include "port/ppdev_system.h"

#ifdef __linux__
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <linux/ppdev.h>

#include <cerrno>
#include <filesystem>
#endif

namespace velwin::xchanger {

#ifdef __linux__

namespace {

// How long a claim may wait for another program to let go of the port.
constexpr int kClaimWaitSeconds = 2;

extern "C" void EndClaimWait(int) {}

// PPCLAIM sleeps until whoever holds the port releases it, for ever if a
// printer daemon keeps it. A timer's signal, delivered without SA_RESTART,
// ends the wait with EINTR; it repeats in case the first one came before
// the call went to sleep. The timer is this thread's own and aimed at this
// thread, so the wait ends whichever thread claims, and no interval timer
// of the process is touched. The kernel forgets the waiting claim when the
// descriptor is closed or the claim is asked again.
int ClaimWithin(int fd) {
  struct sigaction action {};
  struct sigaction old {};
  action.sa_handler = EndClaimWait;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGALRM, &action, &old);
  sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = SIGALRM;
  // glibc names the thread's field only from 2.37 on.
  event._sigev_un._tid = ::gettid();
  timer_t timer{};
  if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) {
    const int error = errno;
    ::sigaction(SIGALRM, &old, nullptr);
    return -error;  // no way to bound the wait: not begun
  }
  itimerspec spec{};
  spec.it_value.tv_sec = kClaimWaitSeconds;
  spec.it_interval.tv_sec = 1;
  ::timer_settime(timer, 0, &spec, nullptr);
  const int result = ::ioctl(fd, PPCLAIM);
  const int error = errno;
  ::timer_delete(timer);
  ::sigaction(SIGALRM, &old, nullptr);
  if (result == 0)
    return 0;
  // Interrupted: another program held the port throughout.
  return error == EINTR ? -EBUSY : -error;
}

class LinuxPpdevSystem : public PpdevSystem {
 public:
  bool Exists(const std::string& path) override {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
  }
  int Open(const std::string& path) override {
    // Non-blocking: ppdev retries an EPP read that timed out for as long as
    // the descriptor blocks, so a probe of a port where nothing answers
    // would never return. This way it fails with EAGAIN and reads 0xFF.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
  }
  void Close(int fd) override { ::close(fd); }
  int Ioctl(int fd, unsigned long request) override {
    if (request == PPCLAIM)
      return ClaimWithin(fd);
    return ::ioctl(fd, request) == 0 ? 0 : -errno;
  }
  int IoctlGetInt(int fd, unsigned long request, int& value) override {
    int read = 0;
    if (::ioctl(fd, request, &read) != 0)
      return -errno;
    value = read;
    return 0;
  }
  int IoctlSetInt(int fd, unsigned long request, int value) override {
    return ::ioctl(fd, request, &value) == 0 ? 0 : -errno;
  }
  int IoctlSetByte(int fd, unsigned long request, std::uint8_t value) override {
    unsigned char byte = value;
    return ::ioctl(fd, request, &byte) == 0 ? 0 : -errno;
  }
  int IoctlGetByte(int fd, unsigned long request, std::uint8_t& value) override {
    unsigned char byte = 0;
    if (::ioctl(fd, request, &byte) != 0) {
      return -errno;
    }
    value = byte;
    return 0;
  }
  long Read(int fd, std::span<std::uint8_t> data) override {
    const ssize_t got = ::read(fd, data.data(), data.size());
    return got >= 0 ? static_cast<long>(got) : -errno;
  }
  long Write(int fd, std::span<const std::uint8_t> data) override {
    const ssize_t put = ::write(fd, data.data(), data.size());
    return put >= 0 ? static_cast<long>(put) : -errno;
  }
};

}  // namespace

std::unique_ptr<PpdevSystem> MakePpdevSystem() {
  return std::make_unique<LinuxPpdevSystem>();
}

#else

std::unique_ptr<PpdevSystem> MakePpdevSystem() {
  return nullptr;
}

#endif

}  // namespace velwin::xchanger
