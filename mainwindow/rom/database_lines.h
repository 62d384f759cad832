#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/byte_file.h"

namespace velwin::rom {

// Reads a ROM database file line by line, the way DOS text files end their
// lines: a CR ends a line, an LF right after it belongs to that line end, a
// lone LF is an ordinary character, and a 0x1A byte ends the data. The last
// line needs no end; a line end at the very end does not start an empty line.
//
// The file streams through one fixed buffer. Of each line only its first
// keepBytes bytes are kept, so memory does not grow with the length of a
// line or of the file.
class DatabaseLines {
 public:
  static constexpr std::size_t kChunkBytes = 64 * 1024;

  DatabaseLines(fileio::ByteFile& file, std::size_t keepBytes);

  // Moves to the next line; false at the end of the data. Read failures
  // throw fileio::FileError.
  bool Next();

  // The first keepBytes bytes of the current line; valid until Next().
  std::string_view Line() const { return line_; }
  // The full length of the current line.
  std::uint64_t Length() const { return length_; }
  // The first keepBytes bytes of the line before the current one (empty
  // before the first line); valid until Next(). Kept by the reader so that
  // it is copied only when the buffer is refilled, not for every line.
  std::string_view PreviousLine() const { return previous_; }

 private:
  // Makes sure unread data is in the buffer; false at the end of the data.
  bool Fill();
  void Keep(const char* bytes, std::size_t count);

  fileio::ByteFile& file_;
  std::size_t keepBytes_;
  std::vector<char> chunk_;
  std::size_t pos_ = 0;
  std::size_t limit_ = 0;
  bool lastChunk_ = false;  // a 0x1A or the end of the file was seen
  bool afterCr_ = false;    // the previous line ended in a CR
  std::string spanning_;    // head of a line that crosses a buffer refill
  std::string previousCopy_;
  std::string_view line_;
  std::string_view previous_;
  bool lineInChunk_ = false;  // line_ points into chunk_, else into spanning_
  bool previousInChunk_ = false;
  std::uint64_t length_ = 0;
};

}  // namespace velwin::rom
