#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fileio/byte_file.h"

namespace velwin::ips {

// Reads a file front to back through one buffer. An IPS file is a long
// chain of 5-byte headers and small bodies; reading each piece with its own
// system call would cost more than writing the records.
class BufferedReader {
 public:
  static constexpr std::size_t kDefaultCapacity = 64 * 1024;

  explicit BufferedReader(fileio::ByteFile& file, std::size_t capacity = kDefaultCapacity);

  // Fills as much of target as the file still holds; returns the count,
  // less than target.size() only at the end of the file. Read failures
  // throw fileio::FileError.
  std::size_t Read(std::span<std::uint8_t> target);

 private:
  fileio::ByteFile& file_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;  // first unread byte in buffer_
  std::size_t end_ = 0;    // one past the last valid byte in buffer_
  bool atEnd_ = false;
};

}  // namespace velwin::ips
