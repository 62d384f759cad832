#pragma once

#include <cstdint>

#include "rom/rom_analysis.h"

namespace velwin::mainwindow {

// TotalFileSize and TotalStrippedSize: signed 32-bit byte sums over the
// listed ROMs. They wrap around like the 32-bit sums they are (done in
// unsigned arithmetic, so the wrap is defined); the status bar shows a
// wrapped, negative total as "nothing listed".
//
// A file contributes only what its analysis measured: a size the analysis
// could not read counts 0, never the caption left over from another file.
class RomTotals {
 public:
  std::int32_t TotalFileSize() const { return fileSize_; }
  std::int32_t TotalStrippedSize() const { return strippedSize_; }

  void Add(const rom::RomAnalysis& analysis);
  void Subtract(const rom::RomAnalysis& analysis);
  void Clear();

 private:
  std::int32_t fileSize_ = 0;
  std::int32_t strippedSize_ = 0;
};

}  // namespace velwin::mainwindow
