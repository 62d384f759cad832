#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSizeGrip>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <string>

#include "gui/settings_store.h"
#include "sram/sram_port.h"
#include "sramman/sram_manager_form.h"
#include "sramman/sram_manager_startup.h"
#include "tests/sramman/sram_manager_window_fixture.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {
namespace {

using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

const QString kKey = QStringLiteral("Software\\VELTRA");

TEST_F(SramManagerWindow, LooksAsDesigned) {
  const auto form = MakeForm();
  EXPECT_EQ(form->objectName(), "SRAMManForm");
  EXPECT_EQ(form->windowTitle(), "VELTRA SRAM Manager by Ostrel & Vannik");
  // The design's client area and its controls, with the menu bar above and
  // the job bar below.
  EXPECT_EQ(form->ClientArea()->geometry(), QRect(0, form->MenuBar()->height(), 344, 242));
  EXPECT_EQ(form->size(), QSize(344, form->MenuBar()->height() + 242 + form->JobBar()->height()));
  EXPECT_EQ(form->Button3()->parentWidget(), form->ClientArea());
  EXPECT_EQ(form->Button3()->geometry(), QRect(216, 8, 121, 33));
  EXPECT_EQ(form->StringGrid1()->geometry(), QRect(8, 8, 201, 225));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_FALSE(form->isVisible());
  // A fixed border: minimise, no maximise, no grip to resize it by.
  EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form->windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
  EXPECT_TRUE(form->findChildren<QSizeGrip*>().isEmpty());

  const QTableWidget* grid = form->StringGrid1();
  EXPECT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->columnWidth(0) + grid->columnWidth(1), 153 + 43);
  EXPECT_EQ(grid->verticalHeader()->defaultSectionSize(), 16);
  EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_TRUE(form->Memo1()->isReadOnly());
  EXPECT_EQ(form->Memo1()->palette().color(QPalette::Text), QColor(0, 255, 0));

  // The hints of the two transfer buttons read the other way round; the
  // buttons never show them.
  EXPECT_EQ(form->Button2()->text(), "Load Marked");
  EXPECT_EQ(form->Button2()->toolTip(), "Read SRAM from Flashcart and write it to PC.");
  EXPECT_EQ(form->Button1()->text(), "Save Marked");
  EXPECT_EQ(form->Button1()->toolTip(), "Load SRAM from PC and write it to Flashcart.");
}

// --- Settings -------------------------------------------------------------------

TEST_F(SramManagerWindow, FirstStartStoresAndUsesTheDefaults) {
  const auto form = MakeForm();
  EXPECT_EQ(form->pos(), QPoint(50, 50));
  // No desktop folder in this home: the home folder itself.
  EXPECT_EQ(form->OpenDialogDirectory(), Home());
  EXPECT_EQ(form->SaveDialogDirectory(), Home());
  const auto key = gui::OpenSettingsKey(kKey);
  EXPECT_EQ(key->ReadInteger(QStringLiteral("SRAM_Manager_Top")), 50);
  EXPECT_EQ(key->ReadInteger(QStringLiteral("SRAM_Manager_Left")), 50);
  EXPECT_EQ(key->ReadString(QStringLiteral("SRAM_Manager_InitialDir")), Home());
}

TEST_F(SramManagerWindow, DialogsOpenInAnExistingFolder) {
  struct Case {
    const char* what;
    bool desktopExists;
    QString stored;  // empty: nothing stored
    QString opensIn;
  };
  const QString desktop = Home() + "/Desktop";
  const QString saves = QString::fromStdString(files_.Path().string());
  const Case cases[] = {
      {"nothing stored, no desktop", false, {}, Home()},
      {"nothing stored, a desktop", true, {}, desktop},
      {"a stored folder that exists", true, saves, saves},
      {"a folder of an earlier version", true, "c:\\windows\\desktop", desktop},
      {"a stored folder that is gone", false, saves + "/gone", Home()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir config;  // settings of this case alone
    qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(config.Path().string()));
    if (!c.stored.isEmpty())
      gui::OpenSettingsKey(kKey)->WriteString(QStringLiteral("SRAM_Manager_InitialDir"), c.stored);
    QDir(Home()).rmdir("Desktop");
    if (c.desktopExists) {
      ASSERT_TRUE(QDir(Home()).mkdir("Desktop"));
    }
    const std::size_t asked = dialogs_.Requests().size();
    const auto form = MakeForm();
    form->Button3Click();
    dialogs_.QueueCancel();
    form->Button1Click();
    dialogs_.QueueCancel();
    form->Button2Click();
    ASSERT_EQ(dialogs_.Requests().size(), asked + 2);
    EXPECT_EQ(dialogs_.Requests()[asked].initialDirectory, c.opensIn);
    EXPECT_EQ(dialogs_.Requests()[asked + 1].initialDirectory, c.opensIn);
    // What was stored stays until a dialog picks a file elsewhere.
    ShowModallyAndClose(*form);
    EXPECT_EQ(gui::OpenSettingsKey(kKey)->ReadString(QStringLiteral("SRAM_Manager_InitialDir")),
              c.stored.isEmpty() ? c.opensIn : c.stored);
  }
}

TEST_F(SramManagerWindow, StoredValuesAreUsedUnchangedAndWrittenAtClose) {
  {
    const auto key = gui::OpenSettingsKey(kKey);
    key->WriteInteger(QStringLiteral("SRAM_Manager_Top"), -400);
    key->WriteInteger(QStringLiteral("SRAM_Manager_Left"), 5000);
    key->WriteString(QStringLiteral("SRAM_Manager_InitialDir"), QStringLiteral("/srv/saves"));
  }
  const auto form = MakeForm();
  EXPECT_EQ(form->pos(), QPoint(5000, -400));
  EXPECT_EQ(form->SaveDialogDirectory(), "/srv/saves");

  form->move(120, 130);
  ShowModallyAndClose(*form);
  const auto key = gui::OpenSettingsKey(kKey);
  EXPECT_EQ(key->ReadInteger(QStringLiteral("SRAM_Manager_Top")), form->y());
  EXPECT_EQ(key->ReadInteger(QStringLiteral("SRAM_Manager_Left")), form->x());
  EXPECT_EQ(key->ReadString(QStringLiteral("SRAM_Manager_InitialDir")), "/srv/saves");
}

TEST_F(SramManagerWindow, ValueOfTheWrongTypeFallsBackToItsDefault) {
  {
    const auto key = gui::OpenSettingsKey(kKey);
    key->WriteString(QStringLiteral("SRAM_Manager_Top"), QStringLiteral("abc"));
    key->WriteInteger(QStringLiteral("SRAM_Manager_Left"), 70);
  }
  const auto form = MakeForm();
  EXPECT_EQ(form->pos(), QPoint(70, 50));
}

// --- Showing and hiding -----------------------------------------------------------

TEST_F(SramManagerWindow, ClosingHidesAndKeepsGridAndLog) {
  const auto form = MakeForm();
  form->Button3Click();
  const QStringList log = LogLines(*form);
  EXPECT_EQ(log.first(), QStringLiteral("\u2022 VELTRA - cart found."));
  const int rows = form->StringGrid1()->rowCount();
  ASSERT_GT(rows, 1);

  ShowModallyAndClose(*form);
  EXPECT_FALSE(form->isVisible());
  ShowModallyAndClose(*form);
  EXPECT_EQ(LogLines(*form), log);
  EXPECT_EQ(form->StringGrid1()->rowCount(), rows);
  EXPECT_TRUE(form->Manager().SramGamesListed());
}

// Passes every access to the demo card and counts the times the window
// lets the port go.
class IdleCountingPort : public xchanger::PortBackend {
 public:
  IdleCountingPort(std::unique_ptr<xchanger::PortBackend> inner, int& idles)
      : inner_(std::move(inner)), idles_(idles) {}
  void PortWrite(std::uint16_t port, std::uint8_t value) override {
    inner_->PortWrite(port, value);
  }
  std::uint8_t PortRead(std::uint16_t port) override { return inner_->PortRead(port); }
  std::uint16_t ReadLptBase(int n) override { return inner_->ReadLptBase(n); }
  void Idle() override { ++idles_; }

 private:
  std::unique_ptr<xchanger::PortBackend> inner_;
  int& idles_;
};

TEST_F(SramManagerWindow, PortIsLetGoWhileTheWindowIsClosed) {
  int idles = 0;
  SramManagerParts parts;
  parts.dialogs = &dialogs_;
  parts.messages = &messages_;
  std::string error;
  parts.port = std::make_unique<IdleCountingPort>(OpenSramPort("demo", error), idles);
  TSRAMManForm form(nullptr, std::move(parts));
  EXPECT_EQ(idles, 1);  // created hidden
  ShowModallyAndClose(form);
  EXPECT_EQ(idles, 2);
  form.Button3Click();
  EXPECT_EQ(LogLines(form).first(), QStringLiteral("\u2022 VELTRA - cart found."));
}

TEST_F(SramManagerWindow, ButtonsAreDisabledWhileAnAnalysisLetsEventsIn) {
  const auto form = MakeForm();
  bool sawDisabled = false;
  int clicks = 0;
  // The card identification's wait runs the event loop; a click that gets
  // through then must not start a second analysis.
  QTimer::singleShot(0, form.get(), [&] {
    sawDisabled = !form->Button1()->isEnabled() && !form->Button2()->isEnabled() &&
                  !form->Button3()->isEnabled();
    form->Button3Click();
    form->Button1Click();
    ++clicks;
  });
  form->Button3Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(sawDisabled);
  EXPECT_TRUE(form->Button3()->isEnabled());
  EXPECT_EQ(LogLines(*form), QStringList({QStringLiteral("\u2022 VELTRA - cart found.")}));
  EXPECT_TRUE(dialogs_.Requests().empty());
}

// --- Transfers through the dialogs ----------------------------------------------------

TEST_F(SramManagerWindow, SaveAsksForAFileAndRemembersItsDirectory) {
  const auto form = MakeForm();
  form->Button3Click();
  ASSERT_EQ(Cell(*form, 0, 1), "64 k");
  form->StringGrid1()->selectRow(0);
  const QString path = QString::fromStdString(files_.File("lantern.sav"));
  dialogs_.QueueAnswer({path});
  form->Button1Click();

  ASSERT_EQ(dialogs_.Requests().size(), 1u);
  const auto& request = dialogs_.Requests()[0];
  EXPECT_EQ(request.kind, gui::FileDialogRequest::Kind::kSave);
  EXPECT_EQ(request.initialDirectory, Home());
  EXPECT_EQ(request.filters, QStringList({"Gameboy SRAM-files (*.sav)", "All files (*.*)"}));
  EXPECT_EQ(request.defaultSuffix, "sav");
  EXPECT_TRUE(request.promptOverwrite);
  EXPECT_TRUE(request.pathMustExist);
  EXPECT_FALSE(request.fileMustExist);

  EXPECT_EQ(LogLines(*form).last(), QStringLiteral("\u2022 64kbit read from cart."));
  EXPECT_EQ(ReadBytes(path.toStdString()).size(), 8192u);
  const QString dir = QString::fromStdString(files_.Path().string());
  EXPECT_EQ(form->OpenDialogDirectory(), dir);
  EXPECT_EQ(form->SaveDialogDirectory(), dir);

  // The load dialog opens there next, asks for an existing file, and the
  // directory is what the window stores when it closes.
  dialogs_.QueueAnswer({path});
  form->Button2Click();
  ASSERT_EQ(dialogs_.Requests().size(), 2u);
  EXPECT_EQ(dialogs_.Requests()[1].kind, gui::FileDialogRequest::Kind::kOpenOne);
  EXPECT_EQ(dialogs_.Requests()[1].initialDirectory, dir);
  EXPECT_TRUE(dialogs_.Requests()[1].fileMustExist);
  EXPECT_EQ(LogLines(*form).last(), QStringLiteral("\u2022 64kbit SRAM transferred to cart."));
  ShowModallyAndClose(*form);
  EXPECT_EQ(gui::OpenSettingsKey(kKey)->ReadString(QStringLiteral("SRAM_Manager_InitialDir")), dir);
}

TEST_F(SramManagerWindow, FileErrorShowsTheErrorBoxAndKeepsTheDirectories) {
  const auto form = MakeForm();
  form->Button3Click();
  const QStringList logBefore = LogLines(*form);
  dialogs_.QueueAnswer({QString::fromStdString(files_.File("missing.sav"))});
  form->Button2Click();
  EXPECT_EQ(messages_.Errors(), QStringList({"File not found"}));
  EXPECT_EQ(form->OpenDialogDirectory(), Home());
  EXPECT_EQ(LogLines(*form), logBefore);
}

TEST_F(SramManagerWindow, CancelledDialogChangesNothing) {
  const auto form = MakeForm();
  form->Button3Click();
  const QStringList logBefore = LogLines(*form);
  dialogs_.QueueCancel();
  form->Button1Click();
  EXPECT_EQ(LogLines(*form), logBefore);
  EXPECT_EQ(form->SaveDialogDirectory(), Home());
  EXPECT_TRUE(messages_.Errors().isEmpty());
}

// --- Program start ------------------------------------------------------------------

TEST_F(SramManagerWindow, StartupWithTheDemoCard) {
  const auto form = CreateSramManager(nullptr, QString::fromLatin1(kDemoPortDescription));
  form->Button3Click();
  EXPECT_EQ(Cell(*form, 0, 0), "Lantern Keep      ");
}

TEST_F(SramManagerWindow, NoPortDescriptionTakesTheEnvironmentsPort) {
  qputenv("VELWIN_PORT", "demo");
  const auto form = CreateSramManager(nullptr, QString());
  qunsetenv("VELWIN_PORT");
  form->Button3Click();
  EXPECT_EQ(LogLines(*form).first(), QStringLiteral("\u2022 VELTRA - cart found."));
}

}  // namespace
}  // namespace velwin::sramman::testing
