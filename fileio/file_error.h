#pragma once

#include <stdexcept>
#include <string>

namespace velwin::fileio {

// The text the program shows for a failed file operation: "File not found",
// "File access denied", "Disk full", otherwise "I/O error N" with the
// system's error number.
std::string RuntimeText(int systemError);

// A failed open, seek, read, write or close. what() is RuntimeText(code()).
class FileError : public std::runtime_error {
 public:
  explicit FileError(int systemError);

  int code() const { return code_; }

 private:
  int code_;
};

}  // namespace velwin::fileio
