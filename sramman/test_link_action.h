#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "port/port_backend.h"
#include "sramman/card_menu.h"
#include "xchanger/cart_access.h"

class QAction;
class QMenu;
class QWidget;

namespace velwin::sramman {

// "Test Link…" in the Card menu: what velwin-cli link test finds, in the
// window. Finds the X-Changer, times the link as a page load uses it and
// says for each card whether it can be written over this path, and if not,
// the measured cause and what to change on this machine.
class TestLinkAction : public QObject {
  Q_OBJECT

 public:
  // Shows the findings to the user.
  using Show = std::function<void(QWidget* parent, const QString& text)>;

  TestLinkAction(QMenu* menu, QWidget* window, xchanger::CartAccess& cart,
                 xchanger::PortBackend& port, LinkJobHost& host);

  QAction* Action() const { return action_; }
  // Tests read the findings instead of a message box.
  void SetShow(Show show) { show_ = std::move(show); }

 public slots:
  void TestLink();

 private:
  QWidget* window_;
  xchanger::CartAccess& cart_;
  xchanger::PortBackend& port_;
  LinkJobHost& host_;
  QAction* action_ = nullptr;
  Show show_;
};

}  // namespace velwin::sramman
