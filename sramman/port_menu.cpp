#include "sramman/port_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "gui/settings_store.h"
#include "sramman/sram_manager_form.h"

namespace velwin::sramman {
namespace {

const QString kPortValue = QStringLiteral("SRAM_Manager_Port");

}  // namespace

std::string SavedPortChoice() {
  const auto key = gui::OpenSettingsKey(QString::fromLatin1(TSRAMManForm::kSettingsKey));
  if (!key->ValueExists(kPortValue))
    return {};
  try {
    return key->ReadString(kPortValue).toStdString();
  } catch (const gui::SettingsError&) {
    return {};  // a value of another type: the automatic choice
  }
}

void SavePortChoice(const std::string& description) {
  const auto key = gui::OpenSettingsKey(QString::fromLatin1(TSRAMManForm::kSettingsKey));
  key->WriteString(kPortValue, QString::fromStdString(description));
}

PortMenu::PortMenu(QMenuBar* bar, const PortSelection& selection, std::vector<PortChoice> choices,
                   Choose choose) {
  setParent(bar);
  menu_ = bar->addMenu(QStringLiteral("&Port"));
  menu_->setObjectName(QStringLiteral("PortMenu"));
  group_ = new QActionGroup(menu_);
  group_->setExclusive(true);
  fixed_ = !selection.setBy.empty();
  if (fixed_) {
    QAction* set = menu_->addAction(
        QString::fromStdString(selection.setPort + " (set by " + selection.setBy + ")"));
    set->setCheckable(true);
    set->setChecked(true);
    set->setEnabled(false);
    menu_->addSeparator();
  }
  // A saved port this machine no longer lists stays offered as it was.
  const bool listed = std::any_of(choices.begin(), choices.end(), [&](const PortChoice& choice) {
    return choice.description == selection.chosen;
  });
  if (!listed)
    choices.push_back({selection.chosen, selection.chosen});
  for (const PortChoice& choice : choices) {
    QAction* entry = menu_->addAction(QString::fromStdString(choice.label));
    entry->setCheckable(true);
    entry->setActionGroup(group_);
    entry->setChecked(!fixed_ && choice.description == selection.chosen);
    entry->setEnabled(!fixed_);
    connect(entry, &QAction::triggered, this,
            [choose, description = choice.description] { choose(description); });
  }
}

QAction* PortMenu::Entry(const QString& label) const {
  for (QAction* action : menu_->actions()) {
    if (action->text() == label)
      return action;
  }
  return nullptr;
}

void PortMenu::SetEnabled(bool enabled) {
  if (fixed_)
    return;
  for (QAction* action : group_->actions())
    action->setEnabled(enabled);
}

}  // namespace velwin::sramman
