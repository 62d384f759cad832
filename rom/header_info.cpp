#include "rom/header_info.h"

#include <cstdio>

#include "gbheader/header_logo.h"

namespace velwin::rom {

bool HasGameBoyLogo(std::span<const std::uint8_t, kHeaderBytes> header) {
  int equal = 0;
  for (std::size_t i = 0; i < gbheader::HeaderLogo.size(); ++i) {
    if (header[gbheader::kLogoOffset + i] == gbheader::HeaderLogo[i])
      ++equal;
  }
  return equal >= kLogoBytesNeeded;
}

std::string RomSizeText(std::uint8_t code) {
  // Codes 0-6 are 32 KiB shifted left by the code; 0x52-0x54 are the three
  // odd sizes of 72, 80 and 96 banks that a few carts used.
  switch (code) {
    case 0x00:
      return "256";
    case 0x01:
      return "512";
    case 0x02:
      return "1024";
    case 0x03:
      return "2048";
    case 0x04:
      return "4096";
    case 0x05:
      return "8192";
    case 0x06:
      return "16384";
    case 0x52:
      return "9216";
    case 0x53:
      return "10240";
    case 0x54:
      return "12288";
    default:
      return "Unknown/Invalid";
  }
}

std::uint8_t ComputeHeaderChecksum(std::span<const std::uint8_t, kHeaderBytes> header) {
  std::uint8_t sum = 0;
  for (std::size_t offset = kTitleOffset; offset < kHeaderChecksumOffset; ++offset)
    sum = static_cast<std::uint8_t>(sum - header[offset] - 1);
  return sum;
}

HeaderChecksumState CheckHeaderChecksum(std::span<const std::uint8_t, kHeaderBytes> header) {
  if (!HasGameBoyLogo(header))
    return HeaderChecksumState::kNoHeader;
  return ComputeHeaderChecksum(header) == header[kHeaderChecksumOffset]
             ? HeaderChecksumState::kValid
             : HeaderChecksumState::kBad;
}

std::string HeaderChecksumText(std::span<const std::uint8_t, kHeaderBytes> header) {
  switch (CheckHeaderChecksum(header)) {
    case HeaderChecksumState::kValid:
      return "OK";
    case HeaderChecksumState::kBad:
      return "BAD";
    case HeaderChecksumState::kNoHeader:
      break;
  }
  return "-";
}

bool WriteHeaderLabels(std::span<const std::uint8_t, kHeaderBytes> header, RomInfoLabels& labels) {
  if (!HasGameBoyLogo(header)) {
    // Whole strings are moved in: GCC 12 at -O3 warns falsely (-Wrestrict)
    // when a short literal is assigned into a string in place.
    labels.fileisgbrom = std::string("NO");
    labels.romname = std::string("-");
    labels.romcolor = std::string("-");
    labels.romsize = std::string("-");
    labels.ROMCRC = std::string("-");
    return false;
  }
  labels.fileisgbrom = std::string("YES");

  std::string title;
  for (std::size_t i = 0; i < kTitleLength && header[kTitleOffset + i] != 0; ++i) {
    title.push_back(static_cast<char>(header[kTitleOffset + i]));
  }
  labels.romname = title;

  // 0x80 marks a colour-enhanced game that still runs on the original
  // Game Boy, 0xC0 a colour-only one.
  const std::uint8_t colour = header[kColourFlagOffset];
  labels.romcolor = std::string((colour == 0x80 || colour == 0xC0) ? "YES" : "NO");

  labels.romsize = RomSizeText(header[kRomSizeCodeOffset]);

  char crc[5];
  std::snprintf(crc, sizeof crc, "%02X%02X", header[kChecksumOffset], header[kChecksumOffset + 1]);
  labels.ROMCRC = crc;
  return true;
}

}  // namespace velwin::rom
