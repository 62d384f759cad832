#include "ips/buffered_reader.h"

#include <algorithm>

namespace velwin::ips {

BufferedReader::BufferedReader(fileio::ByteFile& file, std::size_t capacity)
    : file_(file), buffer_(std::max<std::size_t>(capacity, 1)) {}

std::size_t BufferedReader::Read(std::span<std::uint8_t> target) {
  std::size_t done = 0;
  while (done < target.size()) {
    if (begin_ == end_) {
      if (atEnd_)
        break;
      const std::size_t wanted = target.size() - done;
      if (wanted >= buffer_.size()) {
        // A body at least as large as the buffer goes straight to its
        // destination instead of being copied twice.
        const std::size_t n = file_.Read(target.subspan(done));
        done += n;
        if (n < wanted)
          atEnd_ = true;
        break;
      }
      begin_ = 0;
      end_ = file_.Read(buffer_);
      if (end_ < buffer_.size())
        atEnd_ = true;
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

}  // namespace velwin::ips
