#include "ips/ips_patch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fileio/byte_file.h"
#include "ips/buffered_reader.h"

namespace velwin::ips {
namespace {

constexpr std::string_view kSignature = "PATCH";
constexpr std::string_view kEndMarker = "EOF";
constexpr std::size_t kHeaderSize = 5;
constexpr std::size_t kRunFieldsSize = 3;
// Large enough for the largest body (65,535 bytes) and the largest run.
constexpr std::size_t kRecordBufferSize = 65536;

bool Matches(std::span<const std::uint8_t> bytes, std::string_view text) {
  return std::equal(text.begin(), text.end(), bytes.begin(), bytes.end(),
                    [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

std::string FileName(const std::string& path) {
#ifdef _WIN32
  const auto cut = path.find_last_of("\\/:");
#else
  const auto cut = path.find_last_of('/');
#endif
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::string ApplyIpsPatch(const std::string& ipsPath, const std::string& romPath) {
  // The patch is only ever read, so a patch on a read-only medium works.
  auto ips = fileio::ByteFile::Open(ipsPath, fileio::ByteFile::Access::kRead);
  BufferedReader reader(ips);

  // Blank-filled first, so a file shorter than the signature cannot match
  // whatever happened to be in the field.
  std::array<std::uint8_t, kSignature.size()> signature;
  signature.fill(' ');
  reader.Read(signature);
  if (!Matches(signature, kSignature)) {
    ips.Close();
    return kInvalidIpsResult;
  }

  auto rom = fileio::ByteFile::Open(romPath, fileio::ByteFile::Access::kReadWrite);
  std::vector<std::uint8_t> record(kRecordBufferSize);
  std::int64_t applied = 0;

  std::array<std::uint8_t, kHeaderSize> header{};
  while (reader.Read(header) == header.size()) {
    // The end marker stands where an offset would. Some patches put a
    // truncation length after it; reading on would write that as a record.
    if (Matches(std::span(header).first(kEndMarker.size()), kEndMarker))
      break;

    const std::int64_t offset =
        std::int64_t{header[0]} << 16 | std::int64_t{header[1]} << 8 | std::int64_t{header[2]};
    const std::size_t size = std::size_t{header[3]} << 8 | std::size_t{header[4]};

    std::size_t length = 0;
    if (size != 0) {
      if (reader.Read(std::span(record).first(size)) != size)
        break;
      length = size;
    } else {
      // Run record: a 16-bit length and the byte to repeat.
      std::array<std::uint8_t, kRunFieldsSize> run{};
      if (reader.Read(run) != run.size())
        break;
      length = std::size_t{run[0]} << 8 | std::size_t{run[1]};
      std::fill_n(record.begin(), length, run[2]);
    }
    // A cut record ends the file, so nothing can follow it: the breaks
    // above leave it unwritten and uncounted.

    // One positioned write per record, whatever its size. A write past the
    // end grows the file; a short write (full disk) throws.
    rom.WriteAt(offset, std::span(record).first(length));
    ++applied;
  }

  rom.Close();
  ips.Close();
  return std::to_string(applied) + " patches applied to \"" + FileName(romPath) + "\"";
}

}  // namespace velwin::ips
