#include "tests/mainwindow/test_roms.h"

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>

#include "gbheader/header_logo.h"

namespace velwin::mainwindow::testing {

std::vector<std::uint8_t> MakeRomBytes(const RomImage& image) {
  std::vector<std::uint8_t> bytes(image.size);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = i >= image.fillerFrom ? 0xFF : static_cast<std::uint8_t>((i * 7 + i / 251) % 253);
  }
  auto put = [&bytes](std::size_t offset, std::uint8_t value) {
    if (offset < bytes.size()) {
      bytes[offset] = value;
    }
  };
  if (image.withLogo) {
    for (std::size_t i = 0; i < gbheader::HeaderLogo.size(); ++i) {
      put(gbheader::kLogoOffset + i, gbheader::HeaderLogo[i]);
    }
  }
  for (std::size_t i = 0; i < 15; ++i) {
    put(0x134 + i, i < image.title.size() ? static_cast<std::uint8_t>(image.title[i]) : 0);
  }
  put(0x143, 0);
  put(0x148, 0);
  put(0x14E, static_cast<std::uint8_t>(image.checksum >> 8));
  put(0x14F, static_cast<std::uint8_t>(image.checksum & 0xFF));
  return bytes;
}

void WriteFile(const QString& path, const std::vector<std::uint8_t>& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  const auto written =
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  ASSERT_EQ(written, static_cast<qint64>(bytes.size()));
}

void WriteText(const QString& path, const std::string& text) {
  WriteFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  const QByteArray data = file.readAll();
  return {data.begin(), data.end()};
}

}  // namespace velwin::mainwindow::testing
