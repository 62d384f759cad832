#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fileio/byte_file.h"

namespace velwin::ips {

// Reads a file front to back through one buffer, from the start of the file
// and independent of the file's own position. An IPS file is a long chain of
// 5-byte headers and small bodies; reading each piece with its own system
// call would cost more than writing the records.
class BufferedReader {
 public:
  static constexpr std::size_t kDefaultCapacity = 64 * 1024;

  explicit BufferedReader(fileio::ByteFile& file, std::size_t capacity = kDefaultCapacity);

  // Fills as much of target as the file still holds; returns the count,
  // less than target.size() only at the end of the file. Read failures
  // throw fileio::FileError.
  std::size_t Read(std::span<std::uint8_t> target);

  // Moves past up to count bytes; returns the count, less only at the end of
  // the file. Bytes beyond the buffer are jumped over without being read.
  std::size_t Skip(std::size_t count);

  // Continues reading at offset from the start of the file. Going back into
  // the bytes still in the buffer costs no read.
  void SeekTo(std::int64_t offset);

 private:
  void Fill(std::size_t wanted);
  void Drop();

  fileio::ByteFile& file_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;       // first unread byte in buffer_
  std::size_t end_ = 0;         // one past the last valid byte in buffer_
  std::int64_t next_ = 0;       // file offset of the next fill; buffer_ holds next_ - end_ on
  std::int64_t fileSize_ = -1;  // learned at the first jump
  bool atEnd_ = false;          // the file holds nothing past next_
  bool smallFill_ = false;      // the next fill follows a jump or a direct read
};

}  // namespace velwin::ips
