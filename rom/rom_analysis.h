#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "rom/rom_info_labels.h"
#include "rom/status_line.h"

namespace velwin::rom {

// The first 336 bytes of the ROM file analysed last, zero-filled before each
// analysis.
using RomHeaderBuffer = std::array<std::uint8_t, 336>;

// What one analysis measured, beside the labels it wrote. A size is present
// exactly when the analysis wrote its label, so callers never take a stale
// caption of an earlier file for this one.
struct RomAnalysis {
  bool ok = false;  // the guarded block ran to its end
  // The header test passed on what reached the header buffer (fileisgbrom
  // "YES"); a file cut short inside its header can still pass it.
  bool isGameBoyRom = false;
  int systemError = 0;  // the error that ended it; 0 for a file shorter than a header
  std::optional<std::int64_t> fileSize;      // fsize written
  std::optional<std::int64_t> strippedSize;  // fssize written
  std::uint64_t bytesRead = 0;               // bytes read from the file in all
};

// Analyses ROM files into the ROM Info labels and status panel 0, as the
// main window does. Holds the RomHeaderBuffer.
class RomAnalyser {
 public:
  RomAnalyser(RomInfoLabels& labels, StatusLine& status);

  RomAnalysis AnalyseRomFile(const std::string& path, bool ShowStatus);

  const RomHeaderBuffer& HeaderBuffer() const { return buffer_; }

 private:
  // Writes the header labels; true when the header passed the logo test.
  bool ShowHeaderInfo();

  RomInfoLabels& labels_;
  StatusLine& status_;
  RomHeaderBuffer buffer_{};
};

}  // namespace velwin::rom
