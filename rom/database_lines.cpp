#include "rom/database_lines.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace velwin::rom {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kEndOfData = 0x1A;  // DOS end-of-file mark

#ifdef _WIN32
// Windows: DOS text files, where only a CR ends a line.
constexpr bool kLoneLfEndsLine = false;
#else
constexpr bool kLoneLfEndsLine = true;
#endif

bool EndsLine(char c) {
  return c == kCr || (kLoneLfEndsLine && c == kLf);
}

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Setting bit 5 folds A-Z onto a-z and leaves ':', '-' and the digits as
// they are; other bytes may fold onto them too, which the exact comparison
// sorts out.
std::uint8_t Folded(char c) {
  return static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) | 0x20u);
}

// The first index in [from, to) at which a line could hold the key: the
// bytes at offsets 3 (':'), 6 ('X') and the key's last match once folded.
// The fixed-length inner loop has no early exit, so the compiler turns it
// into vector compares; one key line in a few dozen bytes means most
// strides hold no candidate at all.
std::ptrdiff_t NextCandidate(const char* data, std::ptrdiff_t from, std::ptrdiff_t to,
                             std::string_view key) {
  constexpr std::ptrdiff_t kStride = 64;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
  const std::size_t last = key.size() - 1;
  const std::uint8_t colon = Folded(key[3]);
  const std::uint8_t x = Folded(key[6]);
  const std::uint8_t end = Folded(key[last]);
  const auto candidate = [&](std::ptrdiff_t at) -> std::uint8_t {
    const std::uint8_t* p = bytes + at;
    return static_cast<std::uint8_t>((static_cast<std::uint8_t>(p[3] | 0x20u) == colon) &
                                     (static_cast<std::uint8_t>(p[6] | 0x20u) == x) &
                                     (static_cast<std::uint8_t>(p[last] | 0x20u) == end));
  };
  std::ptrdiff_t at = from;
  while (at < to) {
    if (to - at >= kStride) {
      std::uint8_t any = 0;
      for (std::ptrdiff_t i = 0; i < kStride; ++i)
        any |= candidate(at + i);
      if (any == 0) {
        at += kStride;
        continue;
      }
    }
    const std::ptrdiff_t stop = std::min(to, at + kStride);
    for (; at < stop; ++at) {
      if (candidate(at) != 0)
        return at;
    }
  }
  return std::max(from, to);
}

}  // namespace

DatabaseLines::DatabaseLines(fileio::ByteFile& file, std::size_t keepBytes)
    : file_(file), keepBytes_(keepBytes), buffer_(kBefore + kChunkBytes, '\0') {
  lineHead_.reserve(keepBytes_);
}

bool DatabaseLines::FindKeyLine(std::string_view key, std::string& name) {
  const auto keyLength = static_cast<std::ptrdiff_t>(key.size());
  std::ptrdiff_t scanFrom = 0;
  for (;;) {
    char* fresh = buffer_.data() + kBefore + size_;
    const std::size_t room = kChunkBytes - static_cast<std::size_t>(size_);
    std::size_t got = file_.Read(std::span(reinterpret_cast<std::uint8_t*>(fresh), room));
    if (got < room)
      endOfData_ = true;
    if (const void* mark = std::memchr(fresh, kEndOfData, got)) {
      got = static_cast<std::size_t>(static_cast<const char*>(mark) - fresh);
      endOfData_ = true;
    }
    size_ += static_cast<std::ptrdiff_t>(got);

    // A key line needs the byte after it to tell where it ends, unless the
    // data ends right there.
    const std::ptrdiff_t limit = size_ - keyLength + (endOfData_ ? 1 : 0);
    for (std::ptrdiff_t at = NextCandidate(Data(), scanFrom, limit, key); at < limit;
         at = NextCandidate(Data(), at + 1, limit, key)) {
      if (IsKeyLineAt(at, key)) {
        name = NameBefore(at);
        return true;
      }
    }
    if (endOfData_)
      return false;
    scanFrom = std::max(scanFrom, limit);
    Refill(scanFrom);
  }
}

bool DatabaseLines::IsKeyLineAt(std::ptrdiff_t start, std::string_view key) const {
  const std::ptrdiff_t end = start + static_cast<std::ptrdiff_t>(key.size());
  if (end < size_ ? !EndsLine(At(end)) : !(end == size_ && endOfData_))
    return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (UpperAscii(At(start + static_cast<std::ptrdiff_t>(i))) != key[i])
      return false;
  }
  // The line must begin here. A CR before it ends the line before (the key
  // begins with 'C', not with an LF it could swallow); an LF does when it
  // follows a CR, or anywhere where a lone LF ends lines.
  if (start == 0 && fileStartAt0_)
    return true;
  const char before = At(start - 1);
  if (before == kCr)
    return true;
  return before == kLf && (kLoneLfEndsLine || At(start - 2) == kCr);
}

std::ptrdiff_t DatabaseLines::LineStartAtOrBefore(std::ptrdiff_t pos, std::ptrdiff_t floor) const {
  for (std::ptrdiff_t at = pos - 1; at >= floor; --at) {
    const char c = At(at);
    if (!EndsLine(c))
      continue;
    std::ptrdiff_t start = at + 1;
    if (c == kCr && At(start) == kLf)
      ++start;  // the LF belongs to this line end
    if (start <= pos)
      return start;
  }
  return (floor <= 0 && fileStartAt0_) ? 0 : kNotFound;
}

std::ptrdiff_t DatabaseLines::LongLineStart(std::ptrdiff_t pos) const {
  // A byte loop backwards over a line of a gigabyte would crawl; the
  // library's memchr finds the last line end forwards at memory speed.
  const char* data = Data();
  std::ptrdiff_t lastEnd = kNotFound;
  for (const char end : {kCr, kLf}) {
    if (end == kLf && !kLoneLfEndsLine)
      break;
    const char* from = data + Floor();
    while (const void* hit = std::memchr(from, end, static_cast<std::size_t>(data + pos - from))) {
      const auto at = static_cast<std::ptrdiff_t>(static_cast<const char*>(hit) - data);
      lastEnd = std::max(lastEnd, at);
      from = data + at + 1;
    }
  }
  if (lastEnd == kNotFound)
    return Floor() == 0 ? 0 : kNotFound;
  return LineStartAtOrBefore(pos, lastEnd);
}

std::string DatabaseLines::NameBefore(std::ptrdiff_t keyStart) const {
  std::string name;
  if (keyStart == 0 && fileStartAt0_)
    return name;  // the first line has no line before it
  std::ptrdiff_t nameEnd = keyStart - 1;
  if (At(nameEnd) == kLf && At(nameEnd - 1) == kCr)
    --nameEnd;
  std::ptrdiff_t from = LineStartAtOrBefore(nameEnd, Floor());
  if (from == kNotFound) {
    name = lineHead_;  // the name began in an earlier fill of the buffer
    from = 0;
  }
  const std::size_t room = keepBytes_ - std::min(keepBytes_, name.size());
  const auto length = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, nameEnd - from));
  name.append(Data() + from, std::min(room, length));
  return name;
}

void DatabaseLines::Refill(std::ptrdiff_t& firstUnscanned) {
  // Keep the line that the first unscanned byte belongs to, whole, so that
  // a key line right after it still finds its name in the buffer. A line
  // too long for that keeps only its head, and the bytes just before the
  // unscanned ones tell how the next line begins.
  const std::ptrdiff_t window = static_cast<std::ptrdiff_t>(keepBytes_) + 2 * kBefore;
  std::ptrdiff_t keepFrom =
      LineStartAtOrBefore(firstUnscanned - 1, std::max(Floor(), firstUnscanned - 1 - window));
  if (keepFrom == kNotFound) {
    keepFrom = firstUnscanned - kBefore;
    const std::ptrdiff_t start = LongLineStart(keepFrom - 1);
    std::string head;
    head.reserve(keepBytes_);
    std::ptrdiff_t from = start;
    if (start == kNotFound) {
      head = lineHead_;  // the line began in an earlier fill too
      from = 0;
    }
    const std::size_t room = keepBytes_ - std::min(keepBytes_, head.size());
    head.append(Data() + from, std::min(room, static_cast<std::size_t>(keepFrom - from)));
    lineHead_ = std::move(head);
  }
  // Move the kept bytes, with kBefore bytes of context, to the front.
  std::memmove(buffer_.data(), buffer_.data() + keepFrom,
               static_cast<std::size_t>(size_ - keepFrom + kBefore));
  size_ -= keepFrom;
  firstUnscanned -= keepFrom;
  fileStartAt0_ = fileStartAt0_ && keepFrom == 0;
}

}  // namespace velwin::rom
