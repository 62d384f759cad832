#include "ips/ips_patch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fileio/byte_file.h"
#include "ips/buffered_reader.h"
#include "ips/room_reservation.h"

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

struct RecordHeader {
  std::int64_t offset = 0;
  std::size_t size = 0;  // 0: a run record
};

// Reads the next record header; false where the records end: fewer than 5
// bytes left, or the end marker.
bool ReadHeader(BufferedReader& reader, RecordHeader& header) {
  std::array<std::uint8_t, kHeaderSize> bytes{};
  if (reader.Read(bytes) != bytes.size())
    return false;
  // The end marker stands where an offset would. Some patches put a
  // truncation length after it; reading on would write that as a record.
  if (Matches(std::span(bytes).first(kEndMarker.size()), kEndMarker))
    return false;
  header.offset =
      std::int64_t{bytes[0]} << 16 | std::int64_t{bytes[1]} << 8 | std::int64_t{bytes[2]};
  header.size = std::size_t{bytes[3]} << 8 | std::size_t{bytes[4]};
  return true;
}

// Reads the 16-bit length and the byte to repeat of a run record; false
// when the file ends inside them.
bool ReadRun(BufferedReader& reader, std::size_t& length, std::uint8_t& value) {
  std::array<std::uint8_t, kRunFieldsSize> run{};
  if (reader.Read(run) != run.size())
    return false;
  length = std::size_t{run[0]} << 8 | std::size_t{run[1]};
  value = run[2];
  return true;
}

// The size the ROM will have once every whole record is written: the end of
// the furthest record, or the ROM's own size. Bodies are jumped over, so
// this costs one pass over the headers.
std::int64_t PatchedSize(BufferedReader& reader, std::int64_t romSize) {
  std::int64_t size = romSize;
  RecordHeader header;
  while (ReadHeader(reader, header)) {
    std::size_t length = header.size;
    if (length != 0) {
      if (reader.Skip(length) != length)
        break;
    } else {
      std::uint8_t value = 0;
      if (!ReadRun(reader, length, value))
        break;
    }
    // An empty run writes nothing, so it cannot grow the file.
    if (length != 0)
      size = std::max(size, header.offset + static_cast<std::int64_t>(length));
  }
  return size;
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

  // A patch that grows the ROM gets its room before the first write: a disk
  // that fills up half-way would leave a longer, half-patched ROM and no way
  // back.
  const std::int64_t romSize = rom.Size();
  ReserveRoom(rom, romSize, PatchedSize(reader, romSize));
  reader.SeekTo(static_cast<std::int64_t>(kSignature.size()));

  std::vector<std::uint8_t> record(kRecordBufferSize);
  std::int64_t applied = 0;
  RecordHeader header;
  while (ReadHeader(reader, header)) {
    std::size_t length = header.size;
    if (length != 0) {
      if (reader.Read(std::span(record).first(length)) != length)
        break;
    } else {
      std::uint8_t value = 0;
      if (!ReadRun(reader, length, value))
        break;
      std::fill_n(record.begin(), length, value);
    }
    // A cut record ends the file, so nothing can follow it: the breaks
    // above leave it unwritten and uncounted.

    // One positioned write per record, whatever its size. A write past the
    // end grows the file into the room reserved above; a short write
    // (another writer took the room) throws.
    rom.WriteAt(header.offset, std::span(record).first(length));
    ++applied;
  }

  rom.Close();
  ips.Close();
  return std::to_string(applied) + " patches applied to \"" + FileName(romPath) + "\"";
}

}  // namespace velwin::ips
