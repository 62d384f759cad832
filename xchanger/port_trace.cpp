#include "xchanger/port_trace.h"

#include <cstdio>
#include <span>
#include <utility>

#include "fileio/atomic_file.h"
#include "fileio/file_error.h"

namespace velwin::xchanger {

TracedPort::TracedPort(std::unique_ptr<PortBackend> inner, std::string path)
    : inner_(std::move(inner)), path_(std::move(path)) {
  // A job's worth of accesses without growing the buffer mid-job.
  accesses_.reserve(1u << 16);
}

TracedPort::~TracedPort() {
  std::string ignored;
  WriteTrace(ignored);
}

void TracedPort::PortWrite(std::uint16_t port, std::uint8_t value) {
  accesses_.push_back({inner_->Clock().NowMicroseconds(), port, true, value});
  inner_->PortWrite(port, value);
}

std::uint8_t TracedPort::PortRead(std::uint16_t port) {
  const std::uint64_t start = inner_->Clock().NowMicroseconds();
  const std::uint8_t value = inner_->PortRead(port);
  accesses_.push_back({start, port, false, value});
  return value;
}

void TracedPort::Spread(std::uint64_t start, std::uint16_t port, bool write,
                        std::span<const std::uint8_t> values) {
  const std::uint64_t span = inner_->Clock().NowMicroseconds() - start;
  const std::uint64_t count = values.size();
  for (std::uint64_t i = 0; i < count; ++i)
    accesses_.push_back({start + span * i / count, port, write, values[i]});
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
  if (!WriteTrace(traceError)) {
    if (flushed)
      error = traceError;
    return false;
  }
  return flushed;
}

void TracedPort::Idle() {
  inner_->Idle();
  std::string ignored;
  WriteTrace(ignored);
}

bool TracedPort::WriteTrace(std::string& error) {
  if (everWritten_ && written_ == accesses_.size())
    return true;
  try {
    auto file = fileio::AtomicFile::Begin(path_);
    std::vector<std::uint8_t> text;
    text.reserve(accesses_.size() * 24 + 128);
    const auto append = [&text](const char* line, int length) {
      text.insert(text.end(), line, line + length);
    };
    char line[64];
    append(line, std::snprintf(line, sizeof line, "# velwin port trace: us port r|w value\n"));
    for (const TracedAccess& access : accesses_) {
      append(line, std::snprintf(line, sizeof line, "%llu %04X %c %02X\n",
                                 static_cast<unsigned long long>(access.us), unsigned{access.port},
                                 access.write ? 'w' : 'r', unsigned{access.value}));
    }
    file.File().Write(text);
    file.Commit();
  } catch (const fileio::FileError& failure) {
    error = "cannot write the port trace " + path_ + ": " + failure.what();
    return false;
  }
  written_ = accesses_.size();
  everWritten_ = true;
  return true;
}

}  // namespace velwin::xchanger
