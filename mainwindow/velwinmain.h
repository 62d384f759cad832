#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "flashjob/tool_launcher.h"
#include "gui/file_dialog.h"
#include "gui/message_boxes.h"
#include "mainwindow/main_window_layout.h"
#include "mainwindow/rom_totals.h"
#include "rom/rom_analysis.h"
#include "rom/rom_info_labels.h"
#include "rom/status_line.h"

class QDialog;
class QLabel;
class QListWidget;
class QToolButton;

namespace velwin::mainwindow {

class StatusBar;

inline constexpr const char* kMainSettingsKey = "\\SOFTWARE\\Tessaloc\\velwin";

// What the main window works with, so that tests can put doubles in.
struct TForm1Dependencies {
  gui::FileDialogs& fileDialogs;
  gui::MessageBoxes& messageBoxes;
  flash::ToolLauncher& toolLauncher;
  // Where the scratch directory and the ROM databases live.
  std::string baseDirectory = ".";
  // baseDirectory is a folder the program chose, not the one it was started
  // in (see flash::FlashJobFolder): the VELTRA button says where it is.
  bool ownJobFolder = false;
  QString settingsKeyPath = QString::fromLatin1(kMainSettingsKey);
};

// The main window: the ROM list with its totals, the ROM Info labels, the
// status bar and the buttons that start the flash job, the IPS patcher and
// the SRAM manager. Its creation loads the saved settings; closing it
// deletes the stripped copies and saves them.
class TForm1 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm1(TForm1Dependencies dependencies, QWidget* parent = nullptr);
  ~TForm1() override;

  // The window SRAMButton shows modally; the window is not owned. Without
  // one the button does nothing.
  void SetSramManagerWindow(QDialog* window);
  // Writes one ROM file onto the flash card, with its own question,
  // progress and result; "Write to Card…" hands it the selected ROM.
  // Without one the command does nothing.
  using CardWriter = std::function<void(const QString& romPath)>;
  void SetCardWriter(CardWriter writer) { cardWriter_ = std::move(writer); }

  // What the window shows, for whoever drives it.
  std::int32_t TotalFileSize() const { return totals_.TotalFileSize(); }
  std::int32_t TotalStrippedSize() const { return totals_.TotalStrippedSize(); }
  QStringList RomPaths() const;
  const rom::RomInfoLabels& Labels() const { return labels_; }

  // The event handlers, each behind the standard error box.
  void AddROMsClick();
  void RemoveROMsClick();
  void ClearROMsClick();
  void ROMsListClick();
  void IPSClick();
  // The VELTRA button's handler: the flash job.
  void C();
  void SRAMButtonClick();
  // "Write to Card…" of the ROM list's menu (Ctrl+W).
  void WriteToCardClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class PanelStatusLine;

  // Wires the built controls to the handlers and the owner-drawn parts.
  void ConnectControls(const MainWindowControls& controls);

  // Runs one handler; an error that escapes it goes to the error box and
  // the program carries on.
  void RunHandler(const std::function<void()>& handler);
  void ShowError(const char* text);

  void FormActivate();
  void LoadSettings();
  void SaveSettings();
  void FormClose();

  void AddRomFiles(const QStringList& paths);
  bool IsListed(const QString& path) const;
  void TotalsChanged();
  void ROMsListDrawItem(QPainter& painter, int index, const QRect& rect);
  void StatusDrawPanel(QPainter& painter, int panel, const QRect& rect);
  void SyncLabels();
  void PatchRom(const QString& romPath, const QString& ipsPath);
  // Status panel 0 as the analysis sees it.
  rom::StatusLine& Status() const;

  TForm1Dependencies deps_;
  rom::RomInfoLabels labels_;
  std::unique_ptr<PanelStatusLine> statusLine_;
  rom::RomAnalyser analyser_;
  RomTotals totals_;

  // The two open dialogs: the folder they start in (from the settings) and
  // the first file chosen the last time each was confirmed.
  QString romsDialogDirectory_;
  QString romsDialogFileName_;
  QString ipsDialogDirectory_;
  QString ipsDialogFileName_;

  QPointer<QDialog> sramManager_;
  CardWriter cardWriter_;
  bool listClickPending_ = false;

  QListWidget* romsList_ = nullptr;
  StatusBar* status_ = nullptr;
  std::array<QLabel*, 10> valueLabels_{};
};

}  // namespace velwin::mainwindow
