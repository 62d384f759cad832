#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/byte_file.h"

namespace velwin::rom {

// The lines of a ROM database file, searched for one key line.
//
// Line ends: a CR ends a line and an LF right after it belongs to that line
// end. On Linux a lone LF ends a line too, since every editor there writes
// LF alone; an LF followed by a CR is two line ends (an empty line between).
// On Windows a lone LF is an ordinary character, as in DOS text files. A
// 0x1A byte ends the data. The last line needs no end.
//
// The search does not walk the file line by line: a key line is short and
// has a ':' and an 'X' at fixed places, so whole stretches of the buffer are
// ruled out at once and line ends are looked at only around candidates. The
// file streams through one fixed buffer; of a name only its first keepBytes
// bytes are kept, so memory does not grow with the length of a line or of
// the file.
class DatabaseLines {
 public:
  static constexpr std::size_t kChunkBytes = 256 * 1024;

  DatabaseLines(fileio::ByteFile& file, std::size_t keepBytes);

  // Reads on to the first line that equals key once its letters a-z are
  // turned into A-Z (key is given in upper case and is at least 7 bytes
  // long). On a hit, name receives the first keepBytes bytes of the line
  // before it, empty when the key line is the first line. Read failures
  // throw fileio::FileError.
  bool FindKeyLine(std::string_view key, std::string& name);

 private:
  // Context kept before the buffer: the bytes just before its first byte.
  static constexpr std::ptrdiff_t kBefore = 16;
  static constexpr std::ptrdiff_t kNotFound = -2;

  char At(std::ptrdiff_t index) const { return buffer_[static_cast<std::size_t>(kBefore + index)]; }
  const char* Data() const { return buffer_.data() + kBefore; }
  // The lowest index that holds a byte of the file.
  std::ptrdiff_t Floor() const { return fileStartAt0_ ? 0 : -1; }
  bool IsKeyLineAt(std::ptrdiff_t start, std::string_view key) const;
  // The start of the line holding the byte at pos, looking for its line end
  // no further back than floor; kNotFound when the line began before floor.
  std::ptrdiff_t LineStartAtOrBefore(std::ptrdiff_t pos, std::ptrdiff_t floor) const;
  // The same for the byte at pos in a line that may be far longer than a
  // name.
  std::ptrdiff_t LongLineStart(std::ptrdiff_t pos) const;
  std::string NameBefore(std::ptrdiff_t keyStart) const;
  // Moves the bytes from firstUnscanned on (with what their line needs) to
  // the front of the buffer; firstUnscanned follows them.
  void Refill(std::ptrdiff_t& firstUnscanned);

  fileio::ByteFile& file_;
  std::size_t keepBytes_;
  std::vector<char> buffer_;
  std::ptrdiff_t size_ = 0;   // bytes in the buffer
  bool fileStartAt0_ = true;  // index 0 is the first byte of the file
  bool endOfData_ = false;    // a 0x1A or the end of the file is in the buffer
  // The head of the line in progress before index 0, when it began in an
  // earlier fill of the buffer.
  std::string lineHead_;
};

}  // namespace velwin::rom
