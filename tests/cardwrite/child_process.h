#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace velwin::testing {

// A program run with pipes on its standard input and output, its error
// output to a file, as a window runs velwin-cli.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& errorFile) {
    // A program that has ended fails the write instead of ending the test.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0)
      return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(err, STDERR_FILENO);
      ::close(in[1]);
      ::close(out[0]);
      std::vector<char*> args;
      for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~ChildProcess() {
    CloseInput();
    if (out_ >= 0)
      ::close(out_);
    if (pid_ > 0 && status_ < 0)
      Wait();
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of output without its newline; false at the end.
  bool ReadLine(std::string& line) {
    line.clear();
    char c = 0;
    while (::read(out_, &c, 1) == 1) {
      if (c == '\n')
        return true;
      line += c;
    }
    return !line.empty();
  }
  void Write(const std::string& text) {
    if (::write(in_, text.data(), text.size()) < 0)
      CloseInput();
  }
  void CloseInput() {
    if (in_ >= 0)
      ::close(in_);
    in_ = -1;
  }
  // The exit status, or 128 + the signal that ended it.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int status_ = -1;
};

}  // namespace velwin::testing
