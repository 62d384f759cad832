#include "tests/sram/test_carts.h"

#include <algorithm>
#include <cstdlib>

#include "gbheader/header_logo.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

// Every SRAM load keeps the cart's old save in XDG_DATA_HOME: the tests'
// loads keep theirs in a folder of the test run's own, removed at its end,
// never among the user's. A test that looks at the kept saves sets a folder
// of its own.
struct TestRunDataHome {
  TestRunDataHome() { setenv("XDG_DATA_HOME", folder.File("data").c_str(), 1); }
  velwin::testing::TempDir folder;
};
const TestRunDataHome kTestRunDataHome;

}  // namespace

ScopedDataHome::ScopedDataHome(const std::string& folder) {
  if (const char* saved = std::getenv("XDG_DATA_HOME"))
    saved_ = saved;
  setenv("XDG_DATA_HOME", folder.c_str(), 1);
}

ScopedDataHome::~ScopedDataHome() {
  setenv("XDG_DATA_HOME", saved_.c_str(), 1);
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i / 8192) * 37 + (i % 251) + seed);
  }
  return bytes;
}

std::vector<std::uint8_t> BlankRom(std::size_t banks) {
  return std::vector<std::uint8_t>(banks * kRomBank, 0xFF);
}

void PutHeader(std::vector<std::uint8_t>& rom, std::size_t bank, std::string_view title,
               std::uint8_t romSize, std::uint8_t ramSize) {
  if (rom.size() < (bank + 1) * kRomBank)
    rom.resize((bank + 1) * kRomBank, 0xFF);
  std::uint8_t* base = rom.data() + bank * kRomBank;
  std::copy(gbheader::HeaderLogo.begin(), gbheader::HeaderLogo.end(), base + 0x104);
  std::fill(base + 0x134, base + 0x144, 0);
  std::copy_n(title.begin(), std::min<std::size_t>(title.size(), 16), base + 0x134);
  base[0x147] = 0x1B;
  base[0x148] = romSize;
  base[0x149] = ramSize;
}

void PutSignature(std::vector<std::uint8_t>& rom, std::string_view signature) {
  std::copy_n(signature.begin(), std::min<std::size_t>(signature.size(), 6), rom.begin() + 0x30);
}

std::vector<std::uint8_t> MenuCard(const std::vector<MenuEntry>& entries,
                                   std::string_view signature, std::string_view title) {
  auto rom = BlankRom(2);
  PutHeader(rom, 0, title, 0x06, 0x04);
  PutSignature(rom, signature);
  std::uint8_t* directory = rom.data() + kRomBank;
  std::fill(directory, directory + kRomBank, 0);
  directory[0] = static_cast<std::uint8_t>(entries.size());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    std::uint8_t* entry = directory + 1 + 47 * k;
    std::copy_n(entries[k].name.begin(), std::min<std::size_t>(entries[k].name.size(), 18), entry);
    entry[19] = entries[k].marker;
    entry[21] = entries[k].sramByte;
  }
  return rom;
}

}  // namespace velwin::sramman::testing
