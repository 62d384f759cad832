#include "sramman/sram_manager_form.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include "encoding/windows1252.h"
#include "fileio/file_error.h"
#include "gui/settings_store.h"
#include "port/parport_sysctl.h"
#include "sram/save_all.h"
#include "sram/sram_port.h"
#include "sramman/job_log_viewer.h"
#include "sramman/port_choices.h"
#include "sramman/qt_event_pump.h"
#include "sramman/sav_folder.h"

namespace velwin::sramman {
namespace {

constexpr int kClientWidth = 344;
constexpr int kClientHeight = 242;
constexpr int kDefaultTop = 50;
constexpr int kDefaultLeft = 50;

const QString kTopValue = QStringLiteral("SRAM_Manager_Top");
const QString kLeftValue = QStringLiteral("SRAM_Manager_Left");
const QString kInitialDirValue = QStringLiteral("SRAM_Manager_InitialDir");

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(encoding::Windows1252ToUtf8(text));
}

std::string ToAnsi(const QString& text) {
  return encoding::Utf8ToWindows1252(text.toStdString());
}

template <typename T>
T& OwnedOr(T* given, std::unique_ptr<T>& own, std::unique_ptr<T> fallback) {
  if (given != nullptr)
    return *given;
  own = std::move(fallback);
  return *own;
}

QToolButton* MakeButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                        QStyle::StandardPixmap glyph, QRect geometry) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(text);
  button->setToolTip(hint);
  button->setAutoRaise(true);
  button->setIcon(parent->style()->standardIcon(glyph));
  button->setIconSize(QSize(16, 16));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setGeometry(geometry);
  return button;
}

}  // namespace

TSRAMManForm::TSRAMManForm(QWidget* parent, SramManagerParts parts)
    // A fixed single border: a system menu and a minimise box, no maximise;
    // the fixed size below keeps X11 and Wayland from offering to resize.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      dialogs_(OwnedOr<gui::FileDialogs>(parts.dialogs, ownDialogs_,
                                         std::make_unique<gui::NativeFileDialogs>())),
      messages_(OwnedOr<gui::MessageBoxes>(parts.messages, ownMessages_,
                                           std::make_unique<gui::NativeMessageBoxes>())),
      port_(std::make_unique<SwitchablePort>(parts.port ? std::move(parts.port)
                                                        : std::make_unique<AbsentPort>())),
      ticks_(parts.ticks ? std::move(parts.ticks)
                         : std::make_unique<xchanger::SteadyTickCounter>()),
      pump_(std::make_unique<QtEventPump>()),
      link_(*port_, *ticks_, *pump_),
      cart_(link_),
      manager_(cart_, *pump_, *this),
      askClose_(gui::AskYesNo),
      portProblem_(std::move(parts.portProblem)),
      portDescription_(parts.portDescription.empty() ? ResolvePortChoice(parts.portSelection.chosen)
                                                     : std::move(parts.portDescription)),
      portSelection_(std::move(parts.portSelection)),
      openPort_(std::move(parts.openPort)) {
  if (parts.jobLogPath)
    record_ = std::make_unique<joblog::JobRecorder>(*parts.jobLogPath);
  setObjectName(QStringLiteral("SRAMManForm"));
  setWindowTitle(QStringLiteral("VELTRA SRAM Manager by Ostrel & Vannik"));
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(13);
  setFont(font);
  setSizeGripEnabled(false);
  // A simulated cart keeps its SRAM in a file; a load brings it up to date
  // before it claims success, rather than only when the program ends.
  manager_.SetKeepCartSram([this](std::string& error) { return port_->Flush(error); });
  BuildControls();
  manager_.SetTransferProgress(
      [this](std::uint64_t done, std::uint64_t toDo) { return jobBar_->Show(done, toDo); });
  FormCreate();
  if (!portProblem_.isEmpty())
    LogStatus(ToAnsi(portProblem_));
  // Created hidden: the port is not needed until the window is used.
  port_->Idle();
}

TSRAMManForm::~TSRAMManForm() = default;

void TSRAMManForm::BuildControls() {
  menuBar_ = new QMenuBar(this);
  menuBar_->setObjectName(QStringLiteral("MenuBar"));
  // In the window on every desktop: a global menu would leave the design's
  // controls where they are but hide the card commands elsewhere.
  menuBar_->setNativeMenuBar(false);
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("ClientArea"));
  jobBar_ = new LinkJobBar(this);
  cardMenu_ = new CardMenu(menuBar_, this, cart_, dialogs_, *jobBar_, *this);
  cardWrite_ =
      new CardWriteAction(cardMenu_->Menu(), this, cart_, *port_, dialogs_, *jobBar_, *this);
  cardWrite_->AddRestoreAction(cardMenu_->Menu());
  if (record_)
    AddShowLogAction(cardMenu_->Menu(), this, record_->Path());
  testLink_ = new TestLinkAction(cardMenu_->Menu(), this, cart_, *port_, *this);
  adminWrite_ = new ElevatedWriteAction(cardMenu_->Menu(), this, cart_, *port_, dialogs_, *jobBar_,
                                        *this, [this] { return portDescription_; });
  cardWrite_->SetRefusalAdvice(
      [this](const std::string& reason) { adminWrite_->AdviseAfterRefusal(reason); });
  portMenu_ =
      new PortMenu(menuBar_, portSelection_, ListPortChoices("/dev", xchanger::kParportSysctlRoot),
                   [this](const std::string& choice) { ChangePort(choice); });
  wayBack_ = new WayBackBar(this);
  cardWrite_->SetWayBack(wayBack_);
  adminWrite_->SetWayBack(wayBack_);
  connect(wayBack_, &WayBackBar::ShownChanged, this, [this] { PlaceWayBack(); });
  const int menuHeight = menuBar_->sizeHint().height();
  menuBar_->setGeometry(0, 0, kClientWidth, menuHeight);
  client_->setGeometry(0, menuHeight, kClientWidth, kClientHeight);
  jobBar_->setGeometry(0, menuHeight + kClientHeight, kClientWidth, LinkJobBar::kHeight);
  PlaceWayBack();

  stringGrid1_ = new QTableWidget(1, 2, client_);
  stringGrid1_->setObjectName(QStringLiteral("StringGrid1"));
  stringGrid1_->setGeometry(8, 8, 201, 225);
  stringGrid1_->horizontalHeader()->hide();
  stringGrid1_->verticalHeader()->hide();
  stringGrid1_->setColumnWidth(0, 153);
  stringGrid1_->setColumnWidth(1, 43);
  stringGrid1_->verticalHeader()->setMinimumSectionSize(16);
  stringGrid1_->verticalHeader()->setDefaultSectionSize(16);
  stringGrid1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  stringGrid1_->setShowGrid(true);
  // The size column is narrow: "1024 k" is clipped at the cell's edge rather
  // than shortened to dots.
  stringGrid1_->setTextElideMode(Qt::ElideNone);
  stringGrid1_->setWordWrap(false);
  stringGrid1_->setStyleSheet(QStringLiteral("QTableWidget::item { padding: 0px 2px; }"));
  stringGrid1_->setSelectionBehavior(QAbstractItemView::SelectRows);
  stringGrid1_->setSelectionMode(QAbstractItemView::SingleSelection);
  stringGrid1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  stringGrid1_->setToolTip(QStringLiteral("Select game for loading/saving SRAM."));

  memo1_ = new QPlainTextEdit(client_);
  memo1_->setObjectName(QStringLiteral("Memo1"));
  memo1_->setGeometry(216, 48, 121, 105);
  memo1_->setReadOnly(true);
  memo1_->setFocusPolicy(Qt::NoFocus);
  memo1_->setToolTip(QStringLiteral("Status"));
  QPalette palette = memo1_->palette();
  palette.setColor(QPalette::Base, Qt::black);
  palette.setColor(QPalette::Text, QColor(0x00, 0xFF, 0x00));
  memo1_->setPalette(palette);
  QFont memoFont(QStringLiteral("Arial"));
  memoFont.setPixelSize(13);
  memo1_->setFont(memoFont);

  button1_ = MakeButton(client_, "Button1", QStringLiteral("Save Marked"),
                        QStringLiteral("Load SRAM from PC and write it to Flashcart."),
                        QStyle::SP_DialogSaveButton, QRect(216, 200, 121, 33));
  button2_ = MakeButton(client_, "Button2", QStringLiteral("Load Marked"),
                        QStringLiteral("Read SRAM from Flashcart and write it to PC."),
                        QStyle::SP_DialogOpenButton, QRect(216, 160, 121, 33));
  button3_ = MakeButton(client_, "Button3", QStringLiteral("Analyse Cart"),
                        QStringLiteral("Searches the cart for games which use SRAM."),
                        QStyle::SP_BrowserReload, QRect(216, 8, 121, 33));
  // The buttons carry their hints but, like the window, do not show them.
  for (QToolButton* button : {button1_, button2_, button3_})
    button->installEventFilter(this);

  connect(button3_, &QToolButton::clicked, this, &TSRAMManForm::Button3Click);
  connect(button1_, &QToolButton::clicked, this, &TSRAMManForm::Button1Click);
  connect(button2_, &QToolButton::clicked, this, &TSRAMManForm::Button2Click);

  // Grid first, memo second; the memo takes no focus.
  setTabOrder(stringGrid1_, button3_);
  setTabOrder(button3_, button2_);
  setTabOrder(button2_, button1_);
}

bool TSRAMManForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip &&
      (watched == button1_ || watched == button2_ || watched == button3_)) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TSRAMManForm::FormCreate() {
  const auto key = gui::OpenSettingsKey(QString::fromLatin1(kSettingsKey));
  if (!key->ValueExists(kTopValue))
    key->WriteInteger(kTopValue, kDefaultTop);
  if (!key->ValueExists(kLeftValue))
    key->WriteInteger(kLeftValue, kDefaultLeft);
  if (!key->ValueExists(kInitialDirValue))
    key->WriteString(kInitialDirValue, DefaultSavFolder());
  // A value of the wrong type falls back to its default rather than
  // stopping the program from starting.
  int top = kDefaultTop;
  int left = kDefaultLeft;
  QString initialDir = DefaultSavFolder();
  try {
    top = key->ReadInteger(kTopValue);
  } catch (const gui::SettingsError&) {
  }
  try {
    left = key->ReadInteger(kLeftValue);
  } catch (const gui::SettingsError&) {
  }
  try {
    initialDir = key->ReadString(kInitialDirValue);
  } catch (const gui::SettingsError&) {
  }
  move(left, top);
  openDialogDir_ = initialDir;
  saveDialogDir_ = initialDir;
}

void TSRAMManForm::FormClose() {
  const auto key = gui::OpenSettingsKey(QString::fromLatin1(kSettingsKey));
  key->WriteInteger(kTopValue, y());
  key->WriteInteger(kLeftValue, x());
  key->WriteString(kInitialDirValue, openDialogDir_);
}

void TSRAMManForm::done(int result) {
  // A link job lets window events in; the window stays until it is over.
  // Closing it asks first, saying what stopping the job leaves, and then
  // asks the job to stop where it can and closes the window once it has.
  if (manager_.Busy() || linkJobRunning_) {
    if (askingToClose_ || closeWhenJobEnds_)
      return;
    askingToClose_ = true;
    const QString question = QStringLiteral("A job on the cart is still running.\n\n") +
                             FromAnsi(stopNote_) +
                             QStringLiteral("\n\nStop it and close the window?");
    const bool stop = askClose_(this, question);
    askingToClose_ = false;
    if (!stop)
      return;
    if (manager_.Busy() || linkJobRunning_) {
      closeWhenJobEnds_ = true;
      jobBar_->RequestCancel();
      return;
    }
  }
  FormClose();
  // Let a printer on the same port have it while the window is closed.
  port_->Idle();
  QDialog::done(result);
}

void TSRAMManForm::WriteRomToCard(const QString& romPath) {
  // Modal to the main window, like the SRAM button's showing, but without a
  // loop of its own: the job runs now and lets the window's events in.
  if (!isVisible())
    open();
  cardWrite_->WriteRomToCard(romPath);
}

void TSRAMManForm::SetCommandsEnabled(bool enabled) {
  for (QToolButton* button : {button1_, button2_, button3_})
    button->setEnabled(enabled);
  cardMenu_->SetEnabled(enabled);
  portMenu_->SetEnabled(enabled);
}

// One link job at a time: the commands are disabled while one runs, and a
// command that arrives anyway while events are let in is ignored.
bool TSRAMManForm::BeginLinkJob() {
  if (linkJobRunning_ || manager_.Busy())
    return false;
  // Another velwin may hold the port, or have taken it while the window
  // was closed: the job is refused before its first access.
  if (std::string busy; !port_->Reserve(busy)) {
    LogStatus(ToAnsi(QString::fromStdString(busy)));
    return false;
  }
  linkJobRunning_ = true;
  BeginRecord();
  stopNote_ = "Stopping changes nothing on the cart.";
  SetCommandsEnabled(false);
  return true;
}

void TSRAMManForm::PlaceWayBack() {
  const int menuHeight = menuBar_->sizeHint().height();
  const int below = menuHeight + kClientHeight + LinkJobBar::kHeight;
  wayBack_->setGeometry(0, below, kClientWidth, WayBackBar::kHeight);
  setFixedSize(kClientWidth, below + (wayBack_->isHidden() ? 0 : WayBackBar::kHeight));
}

void TSRAMManForm::CardWritten() {
  // The grid names games and SRAM banks of the card as it was analysed; a
  // write may have replaced them, or left half a menu, so a transfer on
  // them would read or write the wrong banks.
  MarkListingStale(
      QStringLiteral("The card was written since this list was made: Analyse Cart lists it "
                     "again."));
}

void TSRAMManForm::MarkListingStale(const QString& why) {
  listingStale_ = true;
  stringGrid1_->setEnabled(false);
  stringGrid1_->setToolTip(why);
}

void TSRAMManForm::EndLinkJob() {
  EndRecord();
  // The port as the kernel and a printer expect it between jobs: control
  // lines at rest, an ECP port's mode as found.
  port_->EndJob();
  linkJobRunning_ = false;
  SetCommandsEnabled(true);
  if (closeWhenJobEnds_ && holdOpen_) {
    // The card is part written: closing now would take the result and its
    // way back out of sight, so the window stays with them.
    closeWhenJobEnds_ = false;
    LogStatus("The window stays open: the card is part written.");
  }
  holdOpen_ = false;
  if (closeWhenJobEnds_) {
    // After the command has logged how it ended.
    closeWhenJobEnds_ = false;
    QTimer::singleShot(0, this, [this] { done(QDialog::Rejected); });
  }
}

void TSRAMManForm::Button3Click() {
  if (!BeginLinkJob())
    return;
  NameLinkJob("Analyse Cart");
  SetStopNote("Analyse Cart runs to its end first; it changes nothing on the cart.");
  listingStale_ = false;
  stringGrid1_->setEnabled(true);
  stringGrid1_->setToolTip(QStringLiteral("Select game for loading/saving SRAM."));
  manager_.AnalyseCart();
  // Without a port the search has just logged "No X-Changer found"; the
  // reason, with what to do about it, follows every time, as the log was
  // cleared.
  if (!portProblem_.isEmpty())
    LogStatus(ToAnsi(portProblem_));
  EndLinkJob();
}

void TSRAMManForm::Button1Click() {
  Transfer(true);
}

void TSRAMManForm::Button2Click() {
  Transfer(false);
}

std::optional<std::string> TSRAMManForm::ChooseSavFile(bool save) {
  gui::FileDialogRequest request;
  request.kind =
      save ? gui::FileDialogRequest::Kind::kSave : gui::FileDialogRequest::Kind::kOpenOne;
  request.initialDirectory = SavDialogStartFolder(save ? saveDialogDir_ : openDialogDir_);
  request.filters = {QStringLiteral("Gameboy SRAM-files (*.sav)"),
                     QStringLiteral("All files (*.*)")};
  request.defaultSuffix = QStringLiteral("sav");
  // A save is named after its game, as save-all names it, without the row.
  const std::string stem = GameFileStem(FromAnsi(Cell(0, SelectedRow())).toStdString());
  if (save && !stem.empty())
    request.fileName = QString::fromStdString(stem + ".sav");
  request.promptOverwrite = true;
  request.pathMustExist = true;
  request.fileMustExist = !save;
  const QStringList chosen = dialogs_.Run(this, request);
  if (chosen.isEmpty())
    return std::nullopt;
  return QFile::encodeName(QDir::toNativeSeparators(chosen.first())).toStdString();
}

void TSRAMManForm::Transfer(bool save) {
  if (listingStale_) {
    LogStatus(std::string(save ? "Save" : "Load") +
              " Marked refused: the card was written since Analyse Cart listed its games. "
              "Analyse Cart first.");
    return;
  }
  if (!BeginLinkJob())
    return;
  NameLinkJob(save ? "Save Marked" : "Load Marked");
  SetStopNote(save ? "Stopping leaves no new file; a file of that name stays as it was."
                   : "Until the first bank is written, stopping leaves the cart's save as it "
                     "was; once writing has begun, the load runs to its end.");
  // The bar starts once the file is chosen; a load cannot stop half-way.
  const auto choose = [this, save] {
    auto path = ChooseSavFile(save);
    if (path)
      jobBar_->Begin(save);
    return path;
  };
  SramManager::TransferResult result;
  try {
    result = save ? manager_.SaveMarked(choose) : manager_.LoadMarked(choose);
  } catch (const fileio::FileError& error) {
    jobBar_->End();
    EndLinkJob();
    messages_.ShowError(this, QString::fromStdString(error.what()));
    return;
  }
  jobBar_->End();
  EndLinkJob();
  if (result.directory) {
    openDialogDir_ = QFile::decodeName(QByteArray::fromStdString(*result.directory));
    saveDialogDir_ = openDialogDir_;
  }
}

}  // namespace velwin::sramman
