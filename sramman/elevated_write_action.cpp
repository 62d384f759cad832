#include "sramman/elevated_write_action.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <cstdlib>
#include <vector>

#include "card/card_backup.h"
#include "card/card_kind.h"
#include "card/card_listing.h"
#include "card/image_file.h"
#include "card/write_confirmation.h"
#include "card/write_precheck.h"
#include "chips/flash_chip_table.h"
#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "gui/message_boxes.h"
#include "sram/sram_port.h"
#include "sramman/elevated_write.h"
#include "sramman/sav_folder.h"
#include "sramman/way_back_bar.h"

namespace velwin::sramman {
namespace {

constexpr const char* kRightsNote =
    "\n\nvelwin-cli writes it with administrator rights: the system asks for an "
    "administrator's password first.";

// The command in a line the user can select, with a button that copies it.
void ShowCommandToCopy(QWidget* parent, const QString& command) {
  QDialog dialog(parent);
  dialog.setWindowTitle(gui::ApplicationTitle());
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QLabel(
      QStringLiteral("pkexec, which asks for administrator rights, is not installed. This "
                     "command in a terminal writes the card with them:"),
      &dialog);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* line = new QLineEdit(command, &dialog);
  line->setObjectName(QStringLiteral("SudoCommand"));
  line->setReadOnly(true);
  line->setMinimumWidth(480);
  line->selectAll();
  layout->addWidget(line);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QPushButton* copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
  QObject::connect(copy, &QPushButton::clicked, &dialog,
                   [command] { QGuiApplication::clipboard()->setText(command); });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.exec();
}

QString Shown(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

QString ElevationLauncher() {
  const QString given = qEnvironmentVariable("VELWIN_ELEVATE");
  const QString launcher = qEnvironmentVariableIsSet("VELWIN_ELEVATE")
                               ? given
                               : QStandardPaths::findExecutable(QStringLiteral("pkexec"));
  const QFileInfo info(launcher);
  return !launcher.isEmpty() && info.isFile() && info.isExecutable() ? launcher : QString();
}

ElevatedWriteAction::ElevatedWriteAction(QMenu* menu, QWidget* window, xchanger::CartAccess& cart,
                                         xchanger::PortBackend& port, gui::FileDialogs& dialogs,
                                         LinkJobBar& jobBar, LinkJobHost& host, PortInUse portInUse)
    : QObject(window),
      window_(window),
      cart_(cart),
      port_(port),
      dialogs_(dialogs),
      jobBar_(jobBar),
      host_(host),
      portInUse_(std::move(portInUse)),
      confirm_(gui::AskYesNo),
      showCommand_(ShowCommandToCopy) {
  action_ = menu->addAction(QStringLiteral("Write with Administrator Rights\u2026"));
  connect(action_, &QAction::triggered, this, &ElevatedWriteAction::WriteWithAdministratorRights);
}

void ElevatedWriteAction::AdviseAfterRefusal(const std::string& reason) {
  const std::string port = portInUse_();
  const bool overPpdev = port.rfind("ppdev", 0) == 0;
  if (overPpdev && reason.find("Link too slow for this card:") != std::string::npos) {
    host_.LogStatus(
        "As root velwin drives the port directly, which is faster: Card > Write with "
        "Administrator Rights\x85");
  }
}

bool ElevatedWriteAction::Ask(const std::string& imagePath, std::span<const std::uint8_t> image,
                              const std::string& backupFolder, bool& unlock) {
  const std::uint64_t imageBytes = image.size();
  // The window's own port may read the card although it cannot write it
  // fast enough: then the question names the card and its games, as the
  // window's own write asks. A port the window cannot open at all leaves a
  // plainer question.
  std::string question;
  const card::WriteCheck check = card::CheckWrite(cart_, port_.Clock(), image);
  // What the card already tells (too large an image, a locked boot block)
  // is refused here too, before anyone is asked for rights.
  if (check.card && !check.refusal.empty()) {
    host_.LogStatus(check.refusal);
    return false;
  }
  if (check.chip != nullptr && check.refusal.empty()) {
    xchanger::NoEventPump pump;
    const card::WritePreview preview =
        card::PreviewWrite(cart_, port_.Clock(), check, image, true,
                           card::IsCardBackup(imagePath, backupFolder), pump);
    question = card::WriteConfirmationText(preview.subject, ShownName(imagePath), preview.timeText,
                                           backupFolder);
    // Agreeing to a write over locked blocks is agreeing to clear them.
    unlock = !check.lockedUnits.empty();
    if (unlock)
      question += "\n\n" + card::UnlockOfferText(*check.chip, check.lockedUnits,
                                                 card::UnlockAnswers::kYesNo);
  } else {
    question = "Write " + ShownName(imagePath) + " (" + std::to_string(imageBytes) +
               " bytes) onto the flash card in the X-Changer? This window cannot read the card "
               "on its port, so it cannot say what the card holds; everything the image covers "
               "is overwritten. The old contents are kept in " +
               encoding::Utf8ToWindows1252(backupFolder) + " first.";
  }
  question += kRightsNote;
  return !host_.StopRequested() &&
         confirm_(window_, QString::fromStdString(encoding::Windows1252ToUtf8(question)));
}

void ElevatedWriteAction::WriteWithAdministratorRights() {
  if (!host_.BeginLinkJob())
    return;
  const LinkJobScope scope(host_, jobBar_);
  const std::string port = portInUse_();
  if (port == kDemoPortDescription) {
    host_.LogStatus("The demo card needs no administrator rights: Write File to Card\x85");
    return;
  }
  const std::string path =
      ChooseCardImage(dialogs_, window_, QStringLiteral("Write with Administrator Rights"),
                      SavDialogStartFolder(host_.CardDialogFolder()),
                      QStringLiteral("Game Boy ROM images (*.gb *.gbc)"));
  if (path.empty())
    return;
  std::vector<std::uint8_t> image;
  if (!LoadCardImage(path, image, host_))
    return;
  const std::string backupFolder = UserCardBackupFolder();
  if (backupFolder.empty()) {
    host_.LogStatus("No folder for the card's backup: HOME is not set.");
    return;
  }
  bool unlock = false;
  if (!Ask(path, image, backupFolder, unlock))
    return;

  ElevatedWriteRequest write;
  write.launcher = ElevationLauncher();
  write.cli = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("velwin-cli"));
  write.port = QString::fromStdString(port);
  write.backupFolder = Shown(backupFolder);
  write.unlock = unlock;
  write.image = Shown(path);
  if (write.launcher.isEmpty()) {
    host_.LogStatus("pkexec is missing: the sudo command that writes the card is shown.");
    showCommand_(window_, SudoWriteCommand(write));
    return;
  }
  host_.SetStopNote(
      "velwin-cli stops at its next bank; a card it has begun to change is part written, and "
      "the backup named in the log holds it as it was.");
  // velwin-cli takes the port itself: the window lets go of it until its
  // next job.
  port_.Idle();
  jobBar_.Begin(true);
  ElevatedWrite run(jobBar_, [this](const std::string& utf8) {
    host_.LogStatus(encoding::Utf8ToWindows1252(utf8));
  });
  const bool verified = run.Run(write);
  // As after the window's own write: the game list may name what is no
  // longer there, and a verified card leaves no way back to offer.
  if (verified || run.ChangedCard())
    host_.CardWritten();
  if (verified && wayBack_ != nullptr)
    wayBack_->Withdraw();
}

}  // namespace velwin::sramman
