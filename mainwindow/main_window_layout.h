#pragma once

#include <array>

class QLabel;
class QListWidget;
class QToolButton;
class QWidget;

namespace velwin::mainwindow {

class StatusBar;

inline constexpr const char* kMainWindowCaption = "VELTRA Windows front-end v1.21 by Tessaloc";

// The controls of the main window that it reaches again after building them.
struct MainWindowControls {
  QListWidget* romsList = nullptr;
  StatusBar* status = nullptr;
  // fname, fsize, fssize, fileisgbrom, romname, romcolor, romsize, ROMCRC,
  // romdbase, ROMDBName.
  std::array<QLabel*, 10> valueLabels{};
  QToolButton* addRoms = nullptr;
  QToolButton* removeRoms = nullptr;
  QToolButton* clearRoms = nullptr;
  QToolButton* veltra = nullptr;
  QToolButton* sramButton = nullptr;
  QToolButton* ips = nullptr;
};

// Gives window its caption, fixed border, size and font, and places every
// control at its fixed pixel position with its caption, hint and glyph. The
// controls are children of window; nothing is connected yet.
MainWindowControls BuildMainWindowControls(QWidget& window);

}  // namespace velwin::mainwindow
