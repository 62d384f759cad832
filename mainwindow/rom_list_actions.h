#pragma once

class QAction;
class QListWidget;

namespace velwin::mainwindow {

// The ROM list's context menu, whose entries also work as the window's
// keys: "Write to Card…" (Ctrl+W) for the selected ROM, Add (Ctrl+O) and
// Remove (Delete).
struct RomListActions {
  QAction* writeToCard = nullptr;
  QAction* add = nullptr;
  QAction* remove = nullptr;
};

// Puts the actions on the list, as its context menu; nothing is connected
// yet. The keys act wherever the focus is in the list's window: nothing in
// the main window takes typed text.
RomListActions AddRomListActions(QListWidget& list);

}  // namespace velwin::mainwindow
