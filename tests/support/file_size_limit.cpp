#include "tests/support/file_size_limit.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace velwin::testing {

std::string RunWithFileSizeLimit(rlim_t limitBytes, const std::function<std::string()>& action) {
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
