#include "mainwindow/rom/database_lines.h"

#include <cstring>
#include <span>

namespace velwin::rom {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kEndOfData = 0x1A;  // DOS end-of-file mark

}  // namespace

DatabaseLines::DatabaseLines(fileio::ByteFile& file, std::size_t keepBytes)
    : file_(file), keepBytes_(keepBytes), chunk_(kChunkBytes) {
  spanning_.reserve(keepBytes_);
  previousCopy_.reserve(keepBytes_);
}

bool DatabaseLines::Fill() {
  if (pos_ < limit_)
    return true;
  if (lastChunk_)
    return false;
  // The previous line may still point into the buffer about to be
  // overwritten.
  if (previousInChunk_) {
    previousCopy_.assign(previous_);
    previous_ = previousCopy_;
    previousInChunk_ = false;
  }
  const std::size_t got =
      file_.Read(std::span(reinterpret_cast<std::uint8_t*>(chunk_.data()), chunk_.size()));
  pos_ = 0;
  limit_ = got;
  if (got < chunk_.size())
    lastChunk_ = true;
  if (const void* mark = std::memchr(chunk_.data(), kEndOfData, got)) {
    limit_ = static_cast<std::size_t>(static_cast<const char*>(mark) - chunk_.data());
    lastChunk_ = true;
  }
  return pos_ < limit_;
}

void DatabaseLines::Keep(const char* bytes, std::size_t count) {
  const std::size_t room = keepBytes_ - spanning_.size();
  spanning_.append(bytes, count < room ? count : room);
}

bool DatabaseLines::Next() {
  if (lineInChunk_) {
    previous_ = line_;
  } else {
    // The line was assembled across a refill (or is the empty start): hand
    // its storage over instead of copying it.
    std::swap(previousCopy_, spanning_);
    previous_ = previousCopy_;
  }
  previousInChunk_ = lineInChunk_;
  lineInChunk_ = false;
  line_ = {};
  length_ = 0;
  spanning_.clear();
  if (!Fill())
    return false;
  if (afterCr_) {
    afterCr_ = false;
    if (chunk_[pos_] == kLf) {
      ++pos_;
      if (!Fill())
        return false;
    }
  }

  bool spanning = false;
  for (;;) {
    const char* start = chunk_.data() + pos_;
    const std::size_t available = limit_ - pos_;
    const auto* cr = static_cast<const char*>(std::memchr(start, kCr, available));
    const std::size_t count = cr != nullptr ? static_cast<std::size_t>(cr - start) : available;
    length_ += count;
    pos_ += count;
    if (cr != nullptr) {
      ++pos_;
      afterCr_ = true;
      if (!spanning) {
        // The common case: the whole line lies in the buffer.
        line_ = std::string_view(start, count < keepBytes_ ? count : keepBytes_);
        lineInChunk_ = true;
        return true;
      }
      Keep(start, count);
      line_ = spanning_;
      return true;
    }
    Keep(start, count);
    spanning = true;
    if (!Fill()) {
      line_ = spanning_;
      return true;
    }
  }
}

}  // namespace velwin::rom
