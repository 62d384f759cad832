#include "flashjob/process_tool_launcher.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "flashjob/check_startable.h"

namespace velwin::flash {

#ifdef _WIN32

// Maps the WinExec call: CreateProcess with the window shown.
std::error_code ProcessToolLauncher::Start(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           const std::string& workingDirectory) {
  if (const std::error_code problem = CheckStartable(program, workingDirectory))
    return problem;
  // The program is named relative to the working directory, which the
  // system would not apply to it, so the path is joined here.
  std::string commandLine = "\"" + workingDirectory + "\\" + program + "\"";
  for (const auto& argument : arguments)
    commandLine += " " + argument;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory.c_str(), &startup, &process)) {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {};
}

#else

namespace {

// Passes errno from the child back to the parent through the status pipe.
void ReportToParent(int statusPipe, int error) {
  // Nothing is left to do if this fails: the parent then sees a start.
  if (::write(statusPipe, &error, sizeof error) < 0) {
  }
}

}  // namespace

std::error_code ProcessToolLauncher::Start(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           const std::string& workingDirectory) {
  // A directory or a missing file is told apart before anything is forked;
  // exec would only say "Permission denied" for a directory.
  if (const std::error_code problem = CheckStartable(program, workingDirectory))
    return problem;

  // Everything the child needs is prepared before fork: after it, only
  // async-signal-safe calls are allowed.
  std::vector<std::string> strings;
  strings.reserve(arguments.size() + 1);
  strings.push_back(program);
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& s : strings)
    argv.push_back(s.data());
  argv.push_back(nullptr);
  const char* directory = workingDirectory.c_str();

  // The status pipe closes on a successful exec (close-on-exec), so the
  // parent reads either nothing or the errno of the failed step.
  int statusPipe[2];
  if (::pipe2(statusPipe, O_CLOEXEC) != 0)
    return std::error_code(errno, std::system_category());

  // Two forks: the middle child ends at once and is reaped here, so the
  // tool belongs to init, not to us, and leaves no zombie when it ends.
  // Nothing is waited for beyond the exec.
  const pid_t middle = ::fork();
  if (middle < 0) {
    const int error = errno;
    ::close(statusPipe[0]);
    ::close(statusPipe[1]);
    return std::error_code(error, std::system_category());
  }
  if (middle == 0) {
    const pid_t tool = ::_Fork();
    if (tool == 0) {
      sigset_t none;
      ::sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      // The child changes directory, never this process. argv[0] contains
      // a slash, so no search path is used and no shell sees "*.stp".
      if (::chdir(directory) == 0)
        ::execv(argv[0], argv.data());
      ReportToParent(statusPipe[1], errno);
      ::_exit(127);
    }
    if (tool < 0)
      ReportToParent(statusPipe[1], errno);
    ::_exit(0);
  }
  ::close(statusPipe[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got = 0;
  do {
    got = ::read(statusPipe[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(statusPipe[0]);
  if (got == static_cast<ssize_t>(sizeof error) && error != 0)
    return std::error_code(error, std::system_category());
  return {};
}

#endif

}  // namespace velwin::flash
