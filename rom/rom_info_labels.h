#pragma once

#include <string>

namespace velwin::rom {

// The caption every value label starts with.
inline constexpr const char* kUnsetCaption = "**********";

// The ROM Info value labels of the main window: the record of the last
// analysis. Texts are 8-bit (Windows-1252) as the ROM holds them; the
// window decodes them for display.
struct RomInfoLabels {
  std::string fname = kUnsetCaption;
  std::string fsize = kUnsetCaption;
  std::string fssize = kUnsetCaption;
  std::string fileisgbrom = kUnsetCaption;
  std::string romname = kUnsetCaption;
  std::string romcolor = kUnsetCaption;
  std::string romsize = kUnsetCaption;
  std::string ROMCRC = kUnsetCaption;
  std::string romdbase = kUnsetCaption;
  std::string ROMDBName = kUnsetCaption;

  bool operator==(const RomInfoLabels&) const = default;
};

}  // namespace velwin::rom
