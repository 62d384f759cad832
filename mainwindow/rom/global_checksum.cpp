#include "mainwindow/rom/global_checksum.h"

#include <vector>

#include "fileio/byte_file.h"
#include "mainwindow/rom/header_info.h"

namespace velwin::rom {

void GlobalChecksum::Add(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t byte : bytes) {
    if (offset_ == kChecksumOffset) {
      stored_ = static_cast<std::uint16_t>(stored_ | byte << 8);
    } else if (offset_ == kChecksumOffset + 1) {
      stored_ = static_cast<std::uint16_t>(stored_ | byte);
    } else {
      sum_ = static_cast<std::uint16_t>(sum_ + byte);
    }
    ++offset_;
  }
}

bool GlobalChecksum::Matches() const {
  return offset_ > kChecksumOffset + 1 && sum_ == stored_;
}

bool GlobalChecksumMatches(const std::string& path) {
  auto file = fileio::ByteFile::Open(path, fileio::ByteFile::Access::kRead);
  std::vector<std::uint8_t> block(65536);
  GlobalChecksum checksum;
  for (;;) {
    const std::size_t got = file.Read(block);
    checksum.Add(std::span(block).first(got));
    if (got < block.size())
      break;
  }
  file.Close();
  return checksum.Matches();
}

}  // namespace velwin::rom
