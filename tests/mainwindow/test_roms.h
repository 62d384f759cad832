#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace velwin::mainwindow::testing {

// Bytes of a ROM image: a valid cartridge header with the title, and
// varying bytes (never a filler run) up to fillerFrom, 0xFF after it.
struct RomImage {
  std::size_t size = 32768;
  std::string title = "TEST";
  std::size_t fillerFrom = SIZE_MAX;  // no trailing filler by default
  std::uint16_t checksum = 0x1234;
  bool withLogo = true;
};

std::vector<std::uint8_t> MakeRomBytes(const RomImage& image);

// Writes bytes to a file, creating or truncating it; fails the test on an
// error.
void WriteFile(const QString& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const QString& path, const std::string& text);
std::vector<std::uint8_t> ReadFile(const QString& path);

}  // namespace velwin::mainwindow::testing
