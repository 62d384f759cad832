#include "tests/mainwindow/test_roms.h"

#include <algorithm>

#include "tests/support/rom_image.h"
#include "tests/support/temp_dir.h"

namespace velwin::mainwindow::testing {

std::vector<std::uint8_t> MakeRomBytes(const RomFields& fields) {
  velwin::testing::RomImage rom(fields.size);
  rom.Varied().Fill(std::min(fields.fillerFrom, fields.size), fields.size, 0xFF);
  if (fields.withLogo)
    rom.WithLogo();
  rom.Title(fields.title).RomSizeCode(0).Checksum(fields.checksum);
  return rom.Bytes();
}

void WriteText(const QString& path, const std::string& text) {
  velwin::testing::WriteBytes(path.toStdString(),
                              std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadFile(const QString& path) {
  return velwin::testing::ReadBytes(path.toStdString());
}

}  // namespace velwin::mainwindow::testing
