#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace velwin::mainwindow::testing {

// What a test ROM file holds: a valid cartridge header with the title, and
// varying bytes (never a filler run) up to fillerFrom, 0xFF after it.
struct RomFields {
  std::size_t size = 32768;
  std::string title = "TEST";
  std::size_t fillerFrom = SIZE_MAX;  // no trailing filler by default
  std::uint16_t checksum = 0x1234;
  bool withLogo = true;
};

std::vector<std::uint8_t> MakeRomBytes(const RomFields& fields);

// Files named the way the window names them; writing throws on an error.
void WriteText(const QString& path, const std::string& text);
std::vector<std::uint8_t> ReadFile(const QString& path);

}  // namespace velwin::mainwindow::testing
