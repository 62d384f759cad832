// The IPS patcher on any patch file, checked against a plain in-memory
// applier: the patched ROM must hold exactly what applying the whole records
// one by one gives. The first input byte sets the ROM's size in 256-byte
// steps; the rest is the patch file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fileio/file_error.h"
#include "ips/ips_patch.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Patches that reach further would make every run write megabytes.
constexpr std::size_t kMaxRomEnd = 1 << 20;

struct Outcome {
  bool valid = false;
  std::size_t records = 0;
};

// Reads the patch as the format says, straight from memory.
Outcome ApplyInMemory(const std::uint8_t* ips, std::size_t size, Bytes& rom) {
  Outcome outcome;
  if (size < 5 || std::string(ips, ips + 5) != "PATCH")
    return outcome;
  outcome.valid = true;
  std::size_t at = 5;
  while (size - at >= 5) {
    const std::uint8_t* h = ips + at;
    if (h[0] == 'E' && h[1] == 'O' && h[2] == 'F')
      break;
    const std::size_t offset = std::size_t{h[0]} << 16 | std::size_t{h[1]} << 8 | h[2];
    const std::size_t bodySize = std::size_t{h[3]} << 8 | h[4];
    at += 5;
    Bytes bytes;
    if (bodySize != 0) {
      if (size - at < bodySize)
        break;
      bytes.assign(ips + at, ips + at + bodySize);
      at += bodySize;
    } else {
      if (size - at < 3)
        break;
      bytes.assign(std::size_t{ips[at]} << 8 | ips[at + 1], ips[at + 2]);
      at += 3;
    }
    if (!bytes.empty()) {
      if (rom.size() < offset + bytes.size())
        rom.resize(offset + bytes.size(), 0);
      std::copy(bytes.begin(), bytes.end(), rom.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    ++outcome.records;
  }
  return outcome;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  Bytes rom(std::size_t{data[0]} * 256);
  for (std::size_t i = 0; i < rom.size(); ++i)
    rom[i] = static_cast<std::uint8_t>(i * 13 + 5);
  const std::uint8_t* ips = data + 1;
  const std::size_t ipsSize = size - 1;

  Bytes expected = rom;
  const Outcome outcome = ApplyInMemory(ips, ipsSize, expected);
  if (expected.size() > kMaxRomEnd)
    return -1;  // not worth the disk traffic; keep it out of the corpus

  const auto& scratch = velwin::fuzz::Scratch();
  const std::string romPath = scratch.Write("game.gb", rom.data(), rom.size());
  const std::string ipsPath = scratch.Write("fix.ips", ips, ipsSize);
  std::string result;
  try {
    result = velwin::ips::ApplyIpsPatch(ipsPath, romPath);
  } catch (const velwin::fileio::FileError&) {
    std::abort();  // two good files in a roomy folder: no error is possible
  }
  const std::string wanted =
      outcome.valid ? std::to_string(outcome.records) + " patches applied to \"game.gb\""
                    : velwin::ips::kInvalidIpsResult;
  if (result != wanted || ReadAll(romPath) != expected)
    std::abort();
  return 0;
}
