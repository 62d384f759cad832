#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "card/backup_review.h"
#include "card/card_write_job.h"
#include "gui/file_dialog.h"
#include "port/chip_clock.h"
#include "port/port_backend.h"
#include "sramman/card_menu.h"
#include "sramman/link_job_bar.h"
#include "xchanger/cart_access.h"

class QAction;
class QMenu;
class QWidget;

namespace velwin::sramman {

class BackupRestoreDialog;
class WayBackBar;

// "Write File to Card…" in the Card menu: writes an image onto the flash
// card after a confirmation that names the card, what the write overwrites
// (its games, a multi-game card's menu) and, on a card with locked blocks,
// offers to clear the lock bits; with the job bar's progress and Cancel.
// The old card goes to the backup folder first; the results go to the log
// in the command line's words.
class CardWriteAction : public QObject {
  Q_OBJECT

 public:
  // The answers to the question. "Write" over locked blocks the image
  // changes is refused: it is offered so that the lock can be kept.
  enum class Answer : std::uint8_t { kCancel, kWrite, kUnlockAndWrite };
  // Asks the question: "Unlock and Write", "Write" and "Cancel" where
  // offerUnlock, else Yes and No.
  using Ask = std::function<Answer(QWidget* parent, const QString& question, bool offerUnlock)>;
  // A yes-or-no answer: Yes is "Unlock and Write" where that is offered.
  using Confirm = std::function<bool(QWidget* parent, const QString& question)>;

  CardWriteAction(QMenu* menu, QWidget* window, xchanger::CartAccess& cart,
                  xchanger::PortBackend& port, gui::FileDialogs& dialogs, LinkJobBar& jobBar,
                  LinkJobHost& host);

  QAction* Action() const { return action_; }
  // Adds "Restore Card from Backup…" to menu: the same write, of a backup
  // chosen in the card backup folder. Null until added.
  QAction* AddRestoreAction(QMenu* menu);
  QAction* RestoreAction() const { return restore_; }
  // Write to Card from the main window: the same job on a ROM file chosen
  // there, without the file dialog. The question adds that the card then
  // holds this one game.
  void WriteRomToCard(const QString& romPath);
  // Tests answer the question in advance.
  void SetAsk(Ask ask) { ask_ = std::move(ask); }
  void SetConfirm(Confirm confirm);
  // Told the reason of a write refused before it changed the card.
  void SetRefusalAdvice(std::function<void(const std::string& reason)> advise) {
    advise_ = std::move(advise);
  }
  // Where a stopped write offers its way back; none without.
  void SetWayBack(WayBackBar* wayBack);
  // The simulated card's own file, which the restore list never offers.
  void SetCardFile(std::string cardFile) { cardFile_ = std::move(cardFile); }
  // Tests work the restore list themselves instead of its running modally.
  using RestoreListDriver = std::function<void(BackupRestoreDialog& list)>;
  void SetRestoreListDriver(RestoreListDriver driver) { restoreListDriver_ = std::move(driver); }

 public slots:
  void WriteFileToCard();
  void RestoreCardFromBackup();
  // Writes back the backup that the write stopped last kept.
  void RestoreNow();

 private:
  // Where the image comes from: a ROM from the main window's list says in
  // the question that it becomes the card's only game, a backup says what
  // it holds against what the card holds now.
  enum class Source : std::uint8_t { kFile, kRomFromList, kBackup };
  // A backup restored says what is wrong with it in the question, and one
  // of another card size is refused.
  struct Restore {
    card::BackupReview backup;
    bool wayBack = false;  // Restore Now after a stopped write
  };
  // Reads the image at path and writes it after the question; the link job
  // is claimed.
  void WriteImage(const std::string& path, Source source, const Restore* restore = nullptr);
  // Why a restore must not go onto a card of cardMbit, logged; true when
  // it may. Else the question's added paragraph for what is wrong with it.
  bool RestoreAllowed(const Restore& restore, std::uint8_t cardMbit, const std::string& path);
  static std::string RestoreNotes(const Restore& restore);
  // What every write leaves: a stale listing, and after a stop half-way the
  // way back to the card as it was. Returns what the result line adds.
  std::string AfterWrite(const card::CardWriteResult& result, bool wayBack);
  // The image file chosen in an open dialog, as the file system names it;
  // empty when the dialog was cancelled.

  QWidget* window_;
  xchanger::CartAccess& cart_;
  xchanger::PortBackend& port_;  // its page loads want real-time priority unless simulated
  xchanger::ChipClock& clock_;
  gui::FileDialogs& dialogs_;
  LinkJobBar& jobBar_;
  LinkJobHost& host_;
  QAction* action_ = nullptr;
  QAction* restore_ = nullptr;
  Ask ask_;
  std::function<void(const std::string&)> advise_;
  Confirm confirm_;  // the yes-or-no questions of the restore list
  WayBackBar* wayBack_ = nullptr;
  std::string cardFile_;
  RestoreListDriver restoreListDriver_;
};

}  // namespace velwin::sramman
