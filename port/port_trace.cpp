#include "port/port_trace.h"

#include <cstdio>
#include <span>
#include <utility>

#include "fileio/byte_file.h"
#include "fileio/file_error.h"

namespace velwin::xchanger {

TracedPort::TracedPort(std::unique_ptr<PortBackend> inner, std::string path, std::size_t keep)
    : inner_(std::move(inner)), path_(std::move(path)), keep_(keep) {
  accesses_.reserve(std::min<std::size_t>(keep_, std::size_t{1} << 16));
}

TracedPort::~TracedPort() {
  std::string ignored;
  Commit(ignored);
}

void TracedPort::WaitingClock::WaitMicroseconds(std::uint64_t us) {
  // The chip is busy for at least this long anyway: writing now delays no
  // access that a chip is waiting for.
  if (owner_.accesses_.size() >= owner_.keep_) {
    // After a failed write the trace is lost anyway; memory is not.
    if (!owner_.failure_.empty() || !owner_.Spill(owner_.failure_))
      owner_.accesses_.clear();
  }
  owner_.inner_->Clock().WaitMicroseconds(us);
}

void TracedPort::Bound() {
  // A job with no waits (a whole card read) would hold its trace whole:
  // past a hard bound it is written out at once. A write never gets here,
  // its waits write the trace out long before, so no page load is slowed.
  if (accesses_.size() < kHardBoundFactor * keep_)
    return;
  if (!failure_.empty() || !Spill(failure_))
    accesses_.clear();
}

// Each access is stamped once it is done: a pause of the process before an
// access then shows before it, where the chip saw it, not after it.
void TracedPort::PortWrite(std::uint16_t port, std::uint8_t value) {
  inner_->PortWrite(port, value);
  accesses_.push_back({inner_->Clock().NowMicroseconds(), port, true, value});
  Bound();
}

std::uint8_t TracedPort::PortRead(std::uint16_t port) {
  const std::uint8_t value = inner_->PortRead(port);
  accesses_.push_back({inner_->Clock().NowMicroseconds(), port, false, value});
  Bound();
  return value;
}

void TracedPort::Spread(std::uint64_t start, std::uint16_t port, bool write,
                        std::span<const std::uint8_t> values) {
  const std::uint64_t span = inner_->Clock().NowMicroseconds() - start;
  const std::uint64_t count = values.size();
  for (std::uint64_t i = 0; i < count; ++i)
    accesses_.push_back({start + span * (i + 1) / count, port, write, values[i]});
  Bound();
}

void TracedPort::PortReadRun(std::uint16_t port, std::span<std::uint8_t> data) {
  const std::uint64_t start = inner_->Clock().NowMicroseconds();
  inner_->PortReadRun(port, data);
  Spread(start, port, false, data);
}

void TracedPort::PortWriteRun(std::uint16_t port, std::span<const std::uint8_t> data) {
  const std::uint64_t start = inner_->Clock().NowMicroseconds();
  inner_->PortWriteRun(port, data);
  Spread(start, port, true, data);
}

bool TracedPort::Flush(std::string& error) {
  const bool flushed = inner_->Flush(error);
  std::string traceError;
  if (!Commit(traceError)) {
    if (flushed)
      error = traceError;
    return false;
  }
  return flushed;
}

void TracedPort::Idle() {
  inner_->Idle();
  std::string ignored;
  Commit(ignored);
}

bool TracedPort::Spill(std::string& error) {
  try {
    if (!file_) {
      file_.emplace(fileio::AtomicFile::Begin(path_));
      if (committed_) {
        // The trace so far is in the file already: the new one starts as
        // its copy.
        auto old = fileio::ByteFile::Open(path_, fileio::ByteFile::Access::kRead);
        std::vector<std::uint8_t> chunk(std::size_t{1} << 20);
        while (const std::size_t got = old.Read(chunk))
          file_->File().Write(std::span(chunk).first(got));
      } else {
        static constexpr char kHeading[] =
            "# velwin port trace: us (when the access was done) port r|w value\n";
        file_->File().Write(
            std::span(reinterpret_cast<const std::uint8_t*>(kHeading), sizeof kHeading - 1));
      }
    }
    std::vector<std::uint8_t> text;
    text.reserve(accesses_.size() * 24);
    char line[64];
    for (const TracedAccess& access : accesses_) {
      const int length = std::snprintf(
          line, sizeof line, "%llu %04X %c %02X\n", static_cast<unsigned long long>(access.us),
          unsigned{access.port}, access.write ? 'w' : 'r', unsigned{access.value});
      text.insert(text.end(), line, line + length);
    }
    file_->File().Write(text);
  } catch (const fileio::FileError& failure) {
    error = "cannot write the port trace " + path_ + ": " + failure.what();
    file_.reset();
    return false;
  }
  accesses_.clear();
  return true;
}

bool TracedPort::Commit(std::string& error) {
  if (!failure_.empty()) {
    error = failure_;
    return false;
  }
  if (committed_ && !file_ && accesses_.empty())
    return true;
  if (!Spill(error))
    return false;
  try {
    file_->Commit();
  } catch (const fileio::FileError& failure) {
    error = "cannot write the port trace " + path_ + ": " + failure.what();
    file_.reset();
    return false;
  }
  file_.reset();
  committed_ = true;
  return true;
}

}  // namespace velwin::xchanger
