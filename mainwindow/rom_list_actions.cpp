#include "mainwindow/rom_list_actions.h"

#include <QAction>
#include <QKeySequence>
#include <QListWidget>

namespace velwin::mainwindow {
namespace {

QAction* AddAction(QListWidget& list, const char* name, const QString& text,
                   const QKeySequence& key) {
  auto* action = new QAction(text, &list);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  list.addAction(action);
  return action;
}

}  // namespace

RomListActions AddRomListActions(QListWidget& list) {
  list.setContextMenuPolicy(Qt::ActionsContextMenu);
  RomListActions actions;
  actions.writeToCard = AddAction(list, "WriteToCard", QStringLiteral("Write to Card\u2026"),
                                  QKeySequence(Qt::CTRL | Qt::Key_W));
  auto* separator = new QAction(&list);
  separator->setSeparator(true);
  list.addAction(separator);
  actions.add = AddAction(list, "AddToList", QStringLiteral("Add ROM Files\u2026"),
                          QKeySequence(Qt::CTRL | Qt::Key_O));
  actions.remove = AddAction(list, "RemoveFromList", QStringLiteral("Remove from List"),
                             QKeySequence(Qt::Key_Delete));
  return actions;
}

}  // namespace velwin::mainwindow
