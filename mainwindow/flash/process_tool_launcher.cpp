#include <cerrno>

#include "mainwindow/flash/tool_launcher.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velwin::flash {

#ifdef _WIN32

void ProcessToolLauncher::Start(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& workingDirectory) {
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
  if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     workingDirectory.c_str(), &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

#else

void ProcessToolLauncher::Start(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& workingDirectory) {
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

  // Two forks: the middle child ends at once and is reaped here, so the
  // tool belongs to init, not to us, and leaves no zombie when it ends.
  // Nothing is waited for beyond that.
  const pid_t middle = ::fork();
  if (middle < 0)
    return;  // the start's result is not examined
  if (middle == 0) {
    if (::_Fork() == 0) {
      sigset_t none;
      ::sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      // The child changes directory, never this process. argv[0] contains
      // a slash, so no search path is used and no shell sees "*.stp".
      if (::chdir(directory) == 0)
        ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
}

#endif

}  // namespace velwin::flash
