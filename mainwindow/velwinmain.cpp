#include "mainwindow/velwinmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>

#include "encoding/windows1252.h"
#include "flashjob/flash_job.h"
#include "gui/default_folder.h"
#include "gui/settings_store.h"
#include "mainwindow/display_text.h"
#include "mainwindow/file_name_directory.h"
#include "mainwindow/rom_drop_filter.h"
#include "mainwindow/rom_list_actions.h"
#include "mainwindow/rom_list_delegate.h"
#include "mainwindow/status_bar.h"
#include "mainwindow/status_panels.h"
#include "rom/database_lookup.h"
#include "rom/header_info.h"

namespace velwin::mainwindow {
namespace {

// A Game Boy refuses to start a cart whose header checksum is wrong, so the
// checksum value says so before the ROM goes onto a card: a tool tip, and
// the value in red when it is wrong.
// shown: whether the labels show a ROM at all.
void ShowHeaderChecksum(QLabel& value, const rom::RomHeaderBuffer& header, bool shown) {
  const rom::HeaderChecksumState state =
      shown ? rom::CheckHeaderChecksum(header) : rom::HeaderChecksumState::kNoHeader;
  const QString tip =
      state == rom::HeaderChecksumState::kValid ? QStringLiteral("Header checksum valid")
      : state == rom::HeaderChecksumState::kBad
          ? QStringLiteral("Header checksum invalid: a Game Boy will not start this ROM")
          : QString();
  if (value.toolTip() == tip)
    return;
  value.setToolTip(tip);
  QPalette palette = value.parentWidget()->palette();
  if (state == rom::HeaderChecksumState::kBad)
    palette.setColor(QPalette::WindowText, Qt::red);
  value.setPalette(palette);
}

#ifndef Q_OS_WIN
constexpr const char* kWithoutVeltraText =
    "To put one ROM on the card without it, select the ROM and choose \"Write to Card\u2026\" "
    "from the list's context menu (Ctrl+W).";
#endif

}  // namespace

// Status panel 0 as the analysis and the database lookup see it: 8-bit
// text. An immediate repaint also brings the ROM Info labels up to date, so
// the window shows the file being worked on while the work goes on.
class TForm1::PanelStatusLine : public rom::StatusLine {
 public:
  explicit PanelStatusLine(TForm1& form) : form_(form) {}

  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override {
    text_ = text;
    form_.status_->SetPanelText(kMessagePanel, DisplayText(text));
  }
  void RepaintNow() override {
    form_.SyncLabels();
    form_.status_->repaint();
  }

 private:
  TForm1& form_;
  std::string text_;
};

TForm1::TForm1(TForm1Dependencies dependencies, QWidget* parent)
    : QWidget(parent),
      deps_(std::move(dependencies)),
      statusLine_(std::make_unique<PanelStatusLine>(*this)),
      analyser_(labels_, *statusLine_) {
  const MainWindowControls controls = BuildMainWindowControls(*this);
  romsList_ = controls.romsList;
  status_ = controls.status;
  valueLabels_ = controls.valueLabels;
  ConnectControls(controls);
  connect(romsList_, &QListWidget::itemSelectionChanged, this, [this] {
    // A left press that changes the selection is followed by a click on
    // the same item; one analysis is enough. The right button, which opens
    // the context menu, is followed by none.
    listClickPending_ = QApplication::mouseButtons().testFlag(Qt::LeftButton);
    ROMsListClick();
  });
  connect(romsList_, &QListWidget::itemClicked, this, [this] {
    if (listClickPending_) {
      listClickPending_ = false;
      return;
    }
    ROMsListClick();
  });
  FormActivate();
}

TForm1::~TForm1() = default;

rom::StatusLine& TForm1::Status() const {
  return *statusLine_;
}

void TForm1::ConnectControls(const MainWindowControls& controls) {
  // Files dropped on the list are added as if chosen with Add.
  new RomDropFilter(romsList_->viewport(), [this](const QStringList& files) {
    RunHandler([this, &files] { AddRomFiles(files); });
  });
  romsList_->setItemDelegate(
      new RomListDelegate([this](QPainter& painter, int index,
                                 const QRect& rect) { ROMsListDrawItem(painter, index, rect); },
                          romsList_));
  status_->SetDrawPanel([this](QPainter& painter, int panel, const QRect& rect) {
    StatusDrawPanel(painter, panel, rect);
  });
  connect(controls.addRoms, &QToolButton::clicked, this, [this] { AddROMsClick(); });
  connect(controls.removeRoms, &QToolButton::clicked, this, [this] { RemoveROMsClick(); });
  connect(controls.clearRoms, &QToolButton::clicked, this, [this] { ClearROMsClick(); });
  connect(controls.veltra, &QToolButton::clicked, this, [this] { C(); });
  if (deps_.ownJobFolder) {
    const QString folder = QFile::decodeName(QByteArray::fromStdString(deps_.baseDirectory));
    controls.veltra->setToolTip(controls.veltra->toolTip() +
                                QStringLiteral("\nStarted from the menu: the copies go to ") +
                                folder + QStringLiteral("/paldmi.tmp, and VELTRA is taken from ") +
                                folder + QStringLiteral("/veltra"));
  }
  connect(controls.sramButton, &QToolButton::clicked, this, [this] { SRAMButtonClick(); });
  connect(controls.ips, &QToolButton::clicked, this, [this] { IPSClick(); });
  const RomListActions actions = AddRomListActions(*romsList_);
  connect(actions.writeToCard, &QAction::triggered, this, [this] { WriteToCardClick(); });
  connect(actions.add, &QAction::triggered, this, [this] { AddROMsClick(); });
  connect(actions.remove, &QAction::triggered, this, [this] { RemoveROMsClick(); });
}

void TForm1::SetSramManagerWindow(QDialog* window) {
  sramManager_ = window;
}

QStringList TForm1::RomPaths() const {
  QStringList paths;
  for (int i = 0; i < romsList_->count(); ++i) {
    paths.append(romsList_->item(i)->text());
  }
  return paths;
}

void TForm1::RunHandler(const std::function<void()>& handler) {
  // File errors, bad settings values and a failed integer conversion all
  // carry the text the standard error box shows.
  try {
    handler();
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
  SyncLabels();
}

void TForm1::ShowError(const char* text) {
  SyncLabels();
  deps_.messageBoxes.ShowError(this, QString::fromUtf8(text));
}

void TForm1::SyncLabels() {
  const std::string* texts[] = {&labels_.fname,       &labels_.fsize,   &labels_.fssize,
                                &labels_.fileisgbrom, &labels_.romname, &labels_.romcolor,
                                &labels_.romsize,     &labels_.ROMCRC,  &labels_.romdbase,
                                &labels_.ROMDBName};
  for (std::size_t i = 0; i < valueLabels_.size(); ++i) {
    const QString text = DisplayText(*texts[i]);
    if (valueLabels_[i]->text() != text) {
      valueLabels_[i]->setText(text);
    }
  }
  ShowHeaderChecksum(*valueLabels_[7], analyser_.HeaderBuffer(),  // ROMCRC
                     labels_.ROMCRC != rom::kUnsetCaption);
}

// Settings ---------------------------------------------------------------

void TForm1::FormActivate() {
  RunHandler([this] { LoadSettings(); });
}

void TForm1::LoadSettings() {
  // Each value is applied as soon as it is read: a bad value further down
  // leaves the earlier ones in force.
  const auto key = gui::OpenSettingsKey(deps_.settingsKeyPath);
  if (key->ValueExists(QStringLiteral("ROMsDir"))) {
    romsDialogDirectory_ = key->ReadString(QStringLiteral("ROMsDir"));
  }
  if (key->ValueExists(QStringLiteral("IPSsDir"))) {
    ipsDialogDirectory_ = key->ReadString(QStringLiteral("IPSsDir"));
  }
  if (key->ValueExists(QStringLiteral("XPosition"))) {
    move(key->ReadInteger(QStringLiteral("XPosition")), y());
  }
  if (key->ValueExists(QStringLiteral("YPosition"))) {
    move(x(), key->ReadInteger(QStringLiteral("YPosition")));
  }
}

void TForm1::SaveSettings() {
  const auto key = gui::OpenSettingsKey(deps_.settingsKeyPath);
  if (!romsDialogFileName_.isEmpty()) {
    key->WriteString(QStringLiteral("ROMsDir"), DirectoryOfFileName(romsDialogFileName_));
  }
  if (!ipsDialogFileName_.isEmpty()) {
    key->WriteString(QStringLiteral("IPSsDir"), DirectoryOfFileName(ipsDialogFileName_));
  }
  key->WriteInteger(QStringLiteral("XPosition"), x());
  key->WriteInteger(QStringLiteral("YPosition"), y());
}

void TForm1::FormClose() {
  // Separately guarded: the settings are saved even if clearing failed.
  RunHandler([this] { flash::ClearScratchCopies(deps_.baseDirectory); });
  RunHandler([this] { SaveSettings(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

// ROM list ---------------------------------------------------------------

void TForm1::AddROMsClick() {
  RunHandler([this] {
    gui::FileDialogRequest request;
    request.kind = gui::FileDialogRequest::Kind::kOpenMany;
    request.initialDirectory = DialogStartFolder(romsDialogFileName_, romsDialogDirectory_);
#ifndef Q_OS_WIN
    // As the SRAM dialogs do: a program started from a menu has no current
    // folder of the user's choosing.
    if (request.initialDirectory.isEmpty())
      request.initialDirectory = gui::DesktopOrHomeFolder();
#endif
    request.filters = {QStringLiteral("GB ROMs (*.gb*)"), QStringLiteral("All Files (*.*)")};
    request.fileMustExist = true;
    request.pathMustExist = true;
    const QStringList chosen = deps_.fileDialogs.Run(this, request);
    if (chosen.isEmpty()) {
      return;
    }
    romsDialogFileName_ = chosen.first();
    AddRomFiles(chosen);
  });
}

void TForm1::AddRomFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    const rom::RomAnalysis analysis = analyser_.AnalyseRomFile(NativePath(path), true);
    if (analysis.isGameBoyRom && !IsListed(path)) {
      const QSignalBlocker blocker(romsList_);
      romsList_->addItem(path);
      totals_.Add(analysis);
    }
  }
  TotalsChanged();
}

bool TForm1::IsListed(const QString& path) const {
  for (int i = 0; i < romsList_->count(); ++i) {
    if (QString::compare(romsList_->item(i)->text(), path, Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

void TForm1::RemoveROMsClick() {
  RunHandler([this] {
    int index = 0;
    bool removed = false;
    while (index < romsList_->count()) {
      QListWidgetItem* item = romsList_->item(index);
      if (!item->isSelected()) {
        ++index;
        continue;
      }
      const rom::RomAnalysis analysis = analyser_.AnalyseRomFile(NativePath(item->text()), true);
      {
        const QSignalBlocker blocker(romsList_);
        delete romsList_->takeItem(index);
      }
      totals_.Subtract(analysis);
      removed = true;
    }
    // The analyses above leave a removed ROM in the ROM Info panel; the
    // panel shows only what the list still holds.
    if (removed)
      labels_ = rom::RomInfoLabels{};
    TotalsChanged();
  });
}

void TForm1::ClearROMsClick() {
  RunHandler([this] {
    {
      const QSignalBlocker blocker(romsList_);
      romsList_->clear();
    }
    totals_.Clear();
    TotalsChanged();
  });
}

void TForm1::TotalsChanged() {
  status_->SetPanelText(kTotalSizePanel, QString::number(totals_.TotalFileSize()));
  // The stripped total may change while the file total does not: draw the
  // bar again in any case.
  status_->repaint();
}

void TForm1::ROMsListClick() {
  RunHandler([this] {
    const QListWidgetItem* current = romsList_->currentItem();
    if (current == nullptr) {
      return;
    }
    analyser_.AnalyseRomFile(NativePath(current->text()), true);
    rom::LookupDatabase(labels_, *statusLine_, deps_.baseDirectory);
  });
}

void TForm1::ROMsListDrawItem(QPainter& painter, int index, const QRect& rect) {
  painter.fillRect(rect, painter.brush());
  const QListWidgetItem* item = romsList_->item(index);
  if (item == nullptr) {
    return;
  }
  const QString name = QFileInfo(item->text()).fileName();
  painter.drawText(QRect(rect.left() + 2, rect.top(), rect.width() - 2, rect.height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
}

// Status bar -------------------------------------------------------------

void TForm1::StatusDrawPanel(QPainter& painter, int panel, const QRect& rect) {
  for (const PanelText& text :
       StatusPanelTexts(panel, totals_.TotalFileSize(), totals_.TotalStrippedSize())) {
    painter.setPen(QColor(text.colour.r, text.colour.g, text.colour.b));
    painter.drawText(QRect(rect.left() + text.xOffset, rect.top() + kPanelTextTop,
                           rect.width() - text.xOffset, rect.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(text.text));
  }
}

// Flash job, Write to Card, SRAM manager -------------------------------------------

void TForm1::C() {
  RunHandler([this] {
    std::vector<std::string> paths;
    for (const QString& path : RomPaths()) {
      paths.push_back(NativePath(path));
    }
    try {
      flash::RunFlashJob(paths, analyser_, deps_.toolLauncher, deps_.baseDirectory, {},
                         deps_.ownJobFolder);
      // Not the folder the user started the program in: where the copies
      // went is said, for a look at what the tool was given.
      if (deps_.ownJobFolder)
        statusLine_->SetText(encoding::Utf8ToWindows1252(" VELTRA started on the copies in " +
                                                         deps_.baseDirectory + "/paldmi.tmp"));
    } catch (const flash::FlashJobError& error) {
#ifndef Q_OS_WIN
      // The tool is a DOS and Windows program: on Linux it is usually not
      // there at all, and the card can be written without it.
      if (error.toolMissing())
        throw flash::FlashJobError(std::string(error.what()) + " " + kWithoutVeltraText,
                                   error.name(), error.reason(), true);
#endif
      throw;
    }
  });
}

void TForm1::WriteToCardClick() {
  RunHandler([this] {
    const QList<QListWidgetItem*> selected = romsList_->selectedItems();
    if (selected.isEmpty()) {
      statusLine_->SetText(" First select one ROM from list !");
      return;
    }
    if (selected.size() > 1) {
      statusLine_->SetText(" Please select SINGLE ROM from list !");
      return;
    }
    if (cardWriter_)
      cardWriter_(selected.front()->text());
  });
}

void TForm1::SRAMButtonClick() {
  RunHandler([this] {
    if (sramManager_ != nullptr) {
      sramManager_->exec();
    }
  });
}

}  // namespace velwin::mainwindow
