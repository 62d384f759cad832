#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "card/card_kind.h"
#include "gui/file_dialog.h"
#include "sramman/link_job_bar.h"
#include "xchanger/cart_access.h"

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace velwin::sramman {

// What the card commands need of the window that owns the link.
class LinkJobHost {
 public:
  virtual ~LinkJobHost() = default;
  // Claims the link for one job and disables every command; false while
  // another link job runs.
  virtual bool BeginLinkJob() = 0;
  virtual void EndLinkJob() = 0;
  virtual void LogStatus(const std::string& message) = 0;
  // What the job just begun is, by its command's name, for the job log.
  virtual void NameLinkJob(const std::string& name) { (void)name; }
  // The folder the card's file dialogs start in: the saved SRAM folder.
  virtual QString CardDialogFolder() const = 0;
  // What stopping the job in hand would leave, for a host that asks before
  // it stops one; a job says it again as that changes.
  virtual void SetStopNote(const std::string& note) { (void)note; }
  // Whether the user asked to stop the job in hand before it could take a
  // stop itself (while the card is identified and listed).
  virtual bool StopRequested() const { return false; }
  // A write ran: the games listed before may no longer be on the card.
  virtual void CardWritten() {}
  // The job in hand left the card part written: a close asked for meanwhile
  // leaves the window open on the result and its way back.
  virtual void HoldOpenForResult() {}
};

// The name of a file as the log shows it, in the log's code page: the
// file's own name without its folder, as the memo is narrow.
std::string ShownName(const std::string& path);

// Reads the image file a write is to put onto the card; false, with what is
// wrong logged through host, for one that cannot be read or is no image.
bool LoadCardImage(const std::string& path, std::vector<std::uint8_t>& image, LinkJobHost& host);

// Asks for one existing image file, starting in folder, with filter and
// "All files"; its path in the system's bytes, empty when none was chosen.
std::string ChooseCardImage(gui::FileDialogs& dialogs, QWidget* parent, const QString& title,
                            const QString& folder, const QString& filter);

// The user's card backup folder, by the usual rules; empty without a home.
std::string UserCardBackupFolder();

// Ends the link job whichever way a command leaves; the host claimed it
// before.
class LinkJobScope {
 public:
  LinkJobScope(LinkJobHost& host, LinkJobBar& bar) : host_(host), bar_(bar) {}
  ~LinkJobScope() {
    bar_.End();
    host_.EndLinkJob();
  }
  LinkJobScope(const LinkJobScope&) = delete;
  LinkJobScope& operator=(const LinkJobScope&) = delete;

 private:
  LinkJobHost& host_;
  LinkJobBar& bar_;
};

// The "Card" menu of the SRAM manager: reads the whole card to a file and
// compares it with one, on the window's link, with the job bar's progress
// and Cancel. Results go to the log in the command line's words.
class CardMenu : public QObject {
  Q_OBJECT

 public:
  CardMenu(QMenuBar* bar, QWidget* window, xchanger::CartAccess& cart, gui::FileDialogs& dialogs,
           LinkJobBar& jobBar, LinkJobHost& host);

  QMenu* Menu() const { return menu_; }
  QAction* ReadAction() const { return read_; }
  QAction* CompareAction() const { return compare_; }
  void SetEnabled(bool enabled);

 public slots:
  void ReadCardToFile();
  void CompareCardWithFile();

 private:
  std::optional<std::string> ChooseCardFile(bool save);
  // A card job on a file the user chooses: claims the link, identifies the
  // card and logs what the job returns, or why it could not run.
  using CardJob =
      std::function<std::string(const std::string& path, const card::CardIdentity& card)>;
  void RunOnCard(bool save, const CardJob& job);

  QWidget* window_;
  xchanger::CartAccess& cart_;
  gui::FileDialogs& dialogs_;
  LinkJobBar& jobBar_;
  LinkJobHost& host_;
  QMenu* menu_ = nullptr;
  QAction* read_ = nullptr;
  QAction* compare_ = nullptr;
};

}  // namespace velwin::sramman
