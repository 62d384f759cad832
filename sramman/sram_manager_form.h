#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gui/file_dialog.h"
#include "gui/message_boxes.h"
#include "joblog/job_recorder.h"
#include "port/port_backend.h"
#include "sram/sram_manager.h"
#include "sram/sram_view.h"
#include "sramman/card_menu.h"
#include "sramman/card_write_action.h"
#include "sramman/elevated_write_action.h"
#include "sramman/link_job_bar.h"
#include "sramman/port_menu.h"
#include "sramman/switchable_port.h"
#include "sramman/test_link_action.h"
#include "sramman/way_back_bar.h"
#include "xchanger/cart_access.h"
#include "xchanger/link.h"

class QMenuBar;
class QPlainTextEdit;
class QTableWidget;
class QToolButton;

namespace velwin::sramman {

// What the SRAM manager window runs on. Null members get the production
// parts: the platform's dialogs and message boxes, the steady clock, and a
// port that finds no X-Changer.
struct SramManagerParts {
  gui::FileDialogs* dialogs = nullptr;
  gui::MessageBoxes* messages = nullptr;
  std::unique_ptr<xchanger::PortBackend> port;
  // Why no port could be opened, with what to do: the log's first line, and
  // the line after "No X-Changer found" of every analysis.
  QString portProblem;
  // The port description of port, and how it came to be chosen; the Port
  // menu opens another through openPort (null: the plain SRAM port, with
  // the reason of a refusal in problem).
  std::string portDescription;
  PortSelection portSelection;
  using PortOpener = std::function<std::unique_ptr<xchanger::PortBackend>(
      const std::string& description, QString& problem)>;
  PortOpener openPort;
  std::unique_ptr<xchanger::TickCounter> ticks;
  // The job log's file: every job's lines go there too, with the port
  // description above. Without a path no log is kept.
  std::optional<std::string> jobLogPath;
};

// The SRAM manager window: analyses the cart in the X-Changer and copies a
// game's SRAM between the cart and .sav files. Created hidden; shown modally
// by the main window; closing only hides it, grid and log stay.
//
// A menu bar above the design's controls holds the whole-card commands, and a
// strip below them the progress and Cancel of the link job in hand; the
// controls keep their places within the client area between the two.
class TSRAMManForm : public QDialog, private SramView, private LinkJobHost {
  Q_OBJECT

 public:
  static constexpr const char* kSettingsKey = "Software\\VELTRA";

  explicit TSRAMManForm(QWidget* parent, SramManagerParts parts = {});
  ~TSRAMManForm() override;

  QTableWidget* StringGrid1() const { return stringGrid1_; }
  QPlainTextEdit* Memo1() const { return memo1_; }
  QToolButton* Button1() const { return button1_; }
  QToolButton* Button2() const { return button2_; }
  QToolButton* Button3() const { return button3_; }
  // The design's 344 x 242 client area, between the menu bar and the job bar.
  QWidget* ClientArea() const { return client_; }
  QMenuBar* MenuBar() const { return menuBar_; }
  LinkJobBar* JobBar() const { return jobBar_; }
  CardMenu* Card() const { return cardMenu_; }
  CardWriteAction* CardWrite() const { return cardWrite_; }
  TestLinkAction* LinkTest() const { return testLink_; }
  ElevatedWriteAction* AdminWrite() const { return adminWrite_; }
  PortMenu* Ports() const { return portMenu_; }
  // The port description the window talks through now.
  const std::string& PortInUse() const { return portDescription_; }
  // The way back after a write stopped half-way; hidden until one did.
  WayBackBar* WayBack() const { return wayBack_; }
  // Whether the card was written after the grid was listed: transfers wait
  // for the next analysis.
  bool ListingStale() const { return listingStale_; }

  const SramManager& Manager() const { return manager_; }
  QString OpenDialogDirectory() const { return openDialogDir_; }
  QString SaveDialogDirectory() const { return saveDialogDir_; }

  // Write to Card from the main window: opens this window over it, where
  // the job's question, progress, Cancel and result are, and writes the ROM
  // file onto the card. The window stays open with the result in its log.
  void WriteRomToCard(const QString& romPath);

  // Appends "<bullet> message" to the status log (8-bit text).
  void LogStatus(const std::string& message) override;

  // Asked when the window is closed while a link job runs: the question
  // says what stopping the job leaves; true stops the job and closes the
  // window once it is over. Tests answer it in advance.
  using CloseQuestion = std::function<bool(QWidget* parent, const QString& question)>;
  void SetCloseQuestion(CloseQuestion ask) { askClose_ = std::move(ask); }

 public slots:
  void Button3Click();  // "Analyse Cart"
  void Button1Click();  // "Save Marked": cart to file
  void Button2Click();  // "Load Marked": file to cart

 public:
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // SramView, for the cart analysis and the transfers.
  void ClearLog() override;
  int RowCount() const override;
  void SetRowCount(int rows) override;
  void SetCell(int column, int row, const std::string& text) override;
  std::string Cell(int column, int row) const override;
  int SelectedRow() const override;

  // LinkJobHost, for the card commands; the transfers and the analysis
  // claim the link the same way.
  bool BeginLinkJob() override;
  void EndLinkJob() override;
  QString CardDialogFolder() const override { return openDialogDir_; }
  void SetStopNote(const std::string& note) override { stopNote_ = note; }
  void NameLinkJob(const std::string& name) override;
  bool StopRequested() const override { return closeWhenJobEnds_; }
  void CardWritten() override;
  // Save and Load Marked refuse the grid's rows until Analyse Cart lists
  // the card again; why is the grid's tooltip.
  void MarkListingStale(const QString& why);
  void HoldOpenForResult() override { holdOpen_ = true; }
  void PlaceWayBack();

  // The job log: each link job's entry, begun and ended with the job.
  void BeginRecord();
  void RecordLine(const std::string& message);
  void EndRecord();

  void BuildControls();
  // The Port menu's choice: the port in hand is closed, the chosen one
  // opened, and the choice kept in the settings.
  void ChangePort(const std::string& choice);
  void FormCreate();
  void FormClose();
  void SetCommandsEnabled(bool enabled);
  void Transfer(bool save);
  std::optional<std::string> ChooseSavFile(bool save);

  std::unique_ptr<gui::FileDialogs> ownDialogs_;
  std::unique_ptr<gui::MessageBoxes> ownMessages_;
  gui::FileDialogs& dialogs_;
  gui::MessageBoxes& messages_;
  std::unique_ptr<SwitchablePort> port_;
  std::unique_ptr<xchanger::TickCounter> ticks_;
  std::unique_ptr<xchanger::EventPump> pump_;
  xchanger::XChangerLink link_;
  xchanger::CartAccess cart_;
  SramManager manager_;

  QMenuBar* menuBar_ = nullptr;
  QWidget* client_ = nullptr;
  LinkJobBar* jobBar_ = nullptr;
  CardMenu* cardMenu_ = nullptr;          // owned by the window, as a QObject child
  CardWriteAction* cardWrite_ = nullptr;  // likewise
  TestLinkAction* testLink_ = nullptr;    // likewise
  ElevatedWriteAction* adminWrite_ = nullptr;
  PortMenu* portMenu_ = nullptr;
  WayBackBar* wayBack_ = nullptr;  // likewise
  bool listingStale_ = false;
  bool holdOpen_ = false;  // a close asked for during the job waits for the user
  bool linkJobRunning_ = false;
  std::string stopNote_;  // what stopping the link job in hand leaves
  CloseQuestion askClose_;
  bool askingToClose_ = false;
  bool closeWhenJobEnds_ = false;
  QTableWidget* stringGrid1_ = nullptr;
  QPlainTextEdit* memo1_ = nullptr;
  QToolButton* button1_ = nullptr;
  QToolButton* button2_ = nullptr;
  QToolButton* button3_ = nullptr;
  QString portProblem_;
  std::string portDescription_;
  std::unique_ptr<joblog::JobRecorder> record_;  // null: no log kept
  bool jobFailed_ = false;
  bool jobCancelled_ = false;
  PortSelection portSelection_;
  SramManagerParts::PortOpener openPort_;
  QString openDialogDir_;
  QString saveDialogDir_;
};

}  // namespace velwin::sramman
