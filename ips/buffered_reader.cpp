#include "ips/buffered_reader.h"

#include <algorithm>

namespace velwin::ips {
namespace {

// After a jump over a large body, or a large body read past the buffer, the
// reader usually wants one record header and then another large body;
// filling the whole buffer there would copy that body twice.
constexpr std::size_t kSmallFill = 512;

}  // namespace

BufferedReader::BufferedReader(fileio::ByteFile& file, std::size_t capacity)
    : file_(file), buffer_(std::max<std::size_t>(capacity, 1)) {}

void BufferedReader::Drop() {
  begin_ = 0;
  end_ = 0;
}

void BufferedReader::Fill(std::size_t wanted) {
  const std::size_t size =
      smallFill_ ? std::min(buffer_.size(), std::max(wanted, kSmallFill)) : buffer_.size();
  smallFill_ = false;
  begin_ = 0;
  end_ = file_.ReadAt(next_, std::span(buffer_).first(size));
  next_ += static_cast<std::int64_t>(end_);
  if (end_ < size)
    atEnd_ = true;
}

std::size_t BufferedReader::Read(std::span<std::uint8_t> target) {
  std::size_t done = 0;
  while (done < target.size()) {
    if (begin_ == end_) {
      if (atEnd_)
        break;
      const std::size_t wanted = target.size() - done;
      if (wanted > buffer_.size() / 2) {
        // A large body goes straight to its destination instead of being
        // copied twice; the header after it comes with a small fill.
        Drop();
        const std::size_t n = file_.ReadAt(next_, target.subspan(done));
        next_ += static_cast<std::int64_t>(n);
        done += n;
        smallFill_ = true;
        if (n < wanted)
          atEnd_ = true;
        break;
      }
      Fill(wanted);
      if (end_ == 0)
        break;
    }
    const std::size_t n = std::min(end_ - begin_, target.size() - done);
    std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_), n, target.begin() + done);
    begin_ += n;
    done += n;
  }
  return done;
}

std::size_t BufferedReader::Skip(std::size_t count) {
  const std::size_t buffered = std::min(end_ - begin_, count);
  begin_ += buffered;
  if (buffered == count || atEnd_)
    return buffered;
  if (fileSize_ < 0)
    fileSize_ = file_.Size();
  const auto rest = static_cast<std::int64_t>(count - buffered);
  const std::int64_t jump = std::clamp<std::int64_t>(fileSize_ - next_, 0, rest);
  Drop();
  next_ += jump;
  smallFill_ = true;
  if (jump < rest)
    atEnd_ = true;
  return buffered + static_cast<std::size_t>(jump);
}

void BufferedReader::SeekTo(std::int64_t offset) {
  const std::int64_t bufferStart = next_ - static_cast<std::int64_t>(end_);
  if (offset >= bufferStart && offset <= next_) {
    begin_ = static_cast<std::size_t>(offset - bufferStart);
    return;
  }
  Drop();
  next_ = offset;
  atEnd_ = false;
}

}  // namespace velwin::ips
