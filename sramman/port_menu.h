#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "sramman/port_choices.h"

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace velwin::sramman {

// Which port the SRAM manager opens, and why.
struct PortSelection {
  // The user's choice from the Port menu, as kept in the settings: a port
  // description, or empty for the automatic choice.
  std::string chosen;
  // What set the port instead, when something did: "VELWIN_PORT" or "the
  // command line" (--port, --demo). The menu then shows that port and
  // offers no other.
  std::string setBy;
  std::string setPort;
};

// The saved choice of the Port menu ("SRAM_Manager_Port"); empty for the
// automatic one, also when none was saved.
std::string SavedPortChoice();
void SavePortChoice(const std::string& description);

// The "Port" menu: the automatic choice, each ppdev device, each port with
// its base for direct access, and the demo card, the one in use checked.
class PortMenu : public QObject {
  Q_OBJECT

 public:
  using Choose = std::function<void(const std::string& description)>;

  PortMenu(QMenuBar* bar, const PortSelection& selection, std::vector<PortChoice> choices,
           Choose choose);

  QMenu* Menu() const { return menu_; }
  // The entry with this label, null when the menu has none.
  QAction* Entry(const QString& label) const;
  // Off while a link job runs; a port set from outside stays off.
  void SetEnabled(bool enabled);

 private:
  QMenu* menu_ = nullptr;
  QActionGroup* group_ = nullptr;
  bool fixed_ = false;
};

}  // namespace velwin::sramman
