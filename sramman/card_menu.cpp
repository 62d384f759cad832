#include "sramman/card_menu.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <cstdlib>

#include "card/card_backup.h"
#include "card/card_kind.h"
#include "card/card_read_job.h"
#include "card/card_verify.h"
#include "card/image_file.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "sramman/sav_folder.h"

namespace velwin::sramman {
namespace {

std::string OutcomeText(const card::JobOutcome& outcome) {
  return outcome.status == card::JobStatus::kCancelled ? "Cancelled; nothing written."
                                                       : outcome.message;
}

}  // namespace

std::string ShownName(const std::string& path) {
  const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).fileName();
  return encoding::Utf8ToWindows1252(name.toStdString());
}

std::string ChooseCardImage(gui::FileDialogs& dialogs, QWidget* parent, const QString& title,
                            const QString& folder, const QString& filter) {
  gui::FileDialogRequest request;
  request.kind = gui::FileDialogRequest::Kind::kOpenOne;
  request.title = title;
  request.initialDirectory = folder;
  request.filters = {filter, QStringLiteral("All files (*.*)")};
  request.pathMustExist = true;
  request.fileMustExist = true;
  const QStringList chosen = dialogs.Run(parent, request);
  if (chosen.isEmpty())
    return {};
  return QFile::encodeName(QDir::toNativeSeparators(chosen.first())).toStdString();
}

std::string UserCardBackupFolder() {
  return card::CardBackupFolder([](const char* name) { return std::getenv(name); });
}

bool LoadCardImage(const std::string& path, std::vector<std::uint8_t>& image, LinkJobHost& host) {
  try {
    if (const auto problem = card::ReadImageFile(path, image)) {
      host.LogStatus(ShownName(path) + ": " + *problem + ".");
      return false;
    }
  } catch (const fileio::FileError& error) {
    host.LogStatus(ShownName(path) + ": " + error.what());
    return false;
  }
  return true;
}

CardMenu::CardMenu(QMenuBar* bar, QWidget* window, xchanger::CartAccess& cart,
                   gui::FileDialogs& dialogs, LinkJobBar& jobBar, LinkJobHost& host)
    : QObject(window),
      window_(window),
      cart_(cart),
      dialogs_(dialogs),
      jobBar_(jobBar),
      host_(host) {
  menu_ = bar->addMenu(QStringLiteral("&Card"));
  menu_->setObjectName(QStringLiteral("CardMenu"));
  read_ = menu_->addAction(QStringLiteral("Read Card to File\u2026"));
  compare_ = menu_->addAction(QStringLiteral("Compare Card with File\u2026"));
  connect(read_, &QAction::triggered, this, &CardMenu::ReadCardToFile);
  connect(compare_, &QAction::triggered, this, &CardMenu::CompareCardWithFile);
}

void CardMenu::SetEnabled(bool enabled) {
  for (QAction* action : menu_->actions())
    action->setEnabled(enabled);
}

std::optional<std::string> CardMenu::ChooseCardFile(bool save) {
  gui::FileDialogRequest request;
  request.kind =
      save ? gui::FileDialogRequest::Kind::kSave : gui::FileDialogRequest::Kind::kOpenOne;
  request.title =
      save ? QStringLiteral("Read Card to File") : QStringLiteral("Compare Card with File");
  request.initialDirectory = SavDialogStartFolder(host_.CardDialogFolder());
  request.filters = {QStringLiteral("Game Boy ROM images (*.gb *.gbc)"),
                     QStringLiteral("All files (*.*)")};
  request.defaultSuffix = QStringLiteral("gb");
  request.promptOverwrite = true;
  request.pathMustExist = true;
  request.fileMustExist = !save;
  const QStringList chosen = dialogs_.Run(window_, request);
  if (chosen.isEmpty())
    return std::nullopt;
  return QFile::encodeName(QDir::toNativeSeparators(chosen.first())).toStdString();
}

void CardMenu::RunOnCard(bool save, const CardJob& job) {
  if (!host_.BeginLinkJob())
    return;
  const LinkJobScope scope(host_, jobBar_);
  host_.NameLinkJob(save ? "Read Card to File" : "Compare Card with File");
  const auto path = ChooseCardFile(save);
  if (!path)
    return;
  jobBar_.Begin(true);
  const card::CardIdentification found = card::IdentifyCard(cart_);
  if (!found.card) {
    host_.LogStatus(found.error);
    return;
  }
  try {
    host_.LogStatus(job(*path, *found.card));
  } catch (const fileio::FileError& error) {
    host_.LogStatus(ShownName(*path) + ": " + error.what());
  }
}

void CardMenu::ReadCardToFile() {
  RunOnCard(true, [this](const std::string& path, const card::CardIdentity& card) {
    host_.SetStopNote("Stopping leaves no new file; a file of that name stays as it was.");
    const card::JobOutcome outcome = card::ReadCardToFile(cart_, card, path, jobBar_.Control());
    if (!outcome.Ok())
      return OutcomeText(outcome);
    return card::CardDescription(card) + " read to " + ShownName(path) + " (" +
           std::to_string(card.Bytes()) + " bytes).";
  });
}

void CardMenu::CompareCardWithFile() {
  RunOnCard(false, [this](const std::string& path, const card::CardIdentity& card) {
    host_.SetStopNote("Stopping changes nothing on the card or in the file.");
    const card::VerifyResult result =
        card::VerifyCardWithFile(cart_, card, path, jobBar_.Control());
    if (result.outcome.Ok())
      return card::VerifyResultText(result, ShownName(path));
    return result.outcome.status == card::JobStatus::kCancelled ? std::string("Cancelled.")
                                                                : result.outcome.message;
  });
}

}  // namespace velwin::sramman
