#pragma once

#include <stdexcept>
#include <string>

namespace velwin::fileio {

// The text the program shows for a failed file operation: "File not found",
// "File access denied", "Disk full", otherwise "I/O error N" with the
// system's error number.
std::string RuntimeText(int systemError);

// A failed open, seek, read, write or close. what() is RuntimeText(code()),
// the text the error box shows; path() names the file the operation
// concerned, where the thrower knows it, for reports that name files.
class FileError : public std::runtime_error {
 public:
  explicit FileError(int systemError, std::string path = {});

  int code() const { return code_; }
  const std::string& path() const { return path_; }

 private:
  int code_;
  std::string path_;
};

}  // namespace velwin::fileio
