#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <span>
#include <string>

#include "gui/file_dialog.h"
#include "port/port_backend.h"
#include "sramman/card_menu.h"
#include "sramman/link_job_bar.h"
#include "xchanger/cart_access.h"

class QAction;
class QMenu;
class QWidget;

namespace velwin::sramman {

class WayBackBar;

// "Write with Administrator Rights…" in the Card menu: the write for a
// port the window may not drive fast enough, or at all, with the user's own
// rights (ppdev too slow for the card, where port instructions would do; a
// direct port without root). velwin-cli writes the card as root through
// pkexec, after the same question as Write File to Card, and the window
// follows it on its job bar. Without pkexec it shows the sudo command that
// does the same, ready to copy.
class ElevatedWriteAction : public QObject {
  Q_OBJECT

 public:
  using Confirm = std::function<bool(QWidget* parent, const QString& question)>;
  // Shows the command to type in a terminal where no launcher exists.
  using ShowCommand = std::function<void(QWidget* parent, const QString& command)>;
  // The port the window uses, as a description.
  using PortInUse = std::function<std::string()>;

  ElevatedWriteAction(QMenu* menu, QWidget* window, xchanger::CartAccess& cart,
                      xchanger::PortBackend& port, gui::FileDialogs& dialogs, LinkJobBar& jobBar,
                      LinkJobHost& host, PortInUse portInUse);

  QAction* Action() const { return action_; }
  // Tests answer in advance.
  void SetConfirm(Confirm confirm) { confirm_ = std::move(confirm); }
  void SetShowCommand(ShowCommand show) { showCommand_ = std::move(show); }
  // The bar that offers the way back after a write that stopped; a write
  // verified here leaves nothing to go back to.
  void SetWayBack(WayBackBar* wayBack) { wayBack_ = wayBack; }

  // After the window refused a write before changing anything: where the
  // reason is a link too slow over ppdev, says that this command may write
  // the card.
  void AdviseAfterRefusal(const std::string& reason);

 public slots:
  void WriteWithAdministratorRights();

 private:
  // The question, from the card as the window's port finds it.
  bool Ask(const std::string& imagePath, std::span<const std::uint8_t> image,
           const std::string& backupFolder, bool& unlock);

  QWidget* window_;
  xchanger::CartAccess& cart_;
  xchanger::PortBackend& port_;
  gui::FileDialogs& dialogs_;
  LinkJobBar& jobBar_;
  LinkJobHost& host_;
  PortInUse portInUse_;
  QAction* action_ = nullptr;
  Confirm confirm_;
  ShowCommand showCommand_;
  WayBackBar* wayBack_ = nullptr;
};

// The launcher that runs a program as root after asking for the rights:
// VELWIN_ELEVATE when set, else pkexec from PATH; empty when there is none.
QString ElevationLauncher();

}  // namespace velwin::sramman
