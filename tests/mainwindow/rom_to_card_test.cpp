// Write to Card from the main window, through the SRAM manager's card write
// on the simulated X-Changer.
#include <QAction>
#include <QPlainTextEdit>
#include <QTest>

#include "sram/sram_port.h"
#include "sramman/sram_manager_form.h"
#include "tests/mainwindow/main_window_fixture.h"
#include "tests/sram/test_carts.h"

namespace velwin::mainwindow::testing {
namespace {

constexpr std::size_t kCard4Mbit = 512 * 1024;

class RomToCardTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    qputenv("XDG_DATA_HOME", (Root() + "/data").toUtf8());
    auto old = sramman::testing::Pattern(kCard4Mbit, 5);
    sramman::testing::PutHeader(old, 0, "OLDGAME", 0x04, 0x02);
    cardFile_ = temp_.Write("card.gb", old);
  }
  void TearDown() override {
    sram_.reset();
    MainWindowTest::TearDown();
    qunsetenv("XDG_DATA_HOME");
  }

  // The SRAM manager as the program makes it: a child of the main window,
  // on a 4 Mbit card, with the write's question answered in advance.
  sramman::TSRAMManForm& Sram() {
    if (!sram_) {
      sramman::SramManagerParts parts;
      parts.dialogs = &dialogs_;
      parts.messages = &boxes_;
      std::string error;
      parts.port = sramman::OpenSramPort("sim:card=4,rom=" + cardFile_, error);
      EXPECT_TRUE(parts.port) << error;
      port_ = parts.port.get();
      sram_ = std::make_unique<sramman::TSRAMManForm>(&Form(), std::move(parts));
      sram_->CardWrite()->SetConfirm([this](QWidget*, const QString& question) {
        questions_.append(question);
        return true;
      });
      Form().SetCardWriter([this](const QString& path) { sram_->WriteRomToCard(path); });
    }
    return *sram_;
  }
  std::vector<std::uint8_t> Card() {
    std::string error;
    EXPECT_TRUE(port_->Flush(error)) << error;
    return velwin::testing::ReadBytes(cardFile_);
  }
  QAction& Action(const char* name) { return *List().findChild<QAction*>(name); }

  std::string cardFile_;
  std::unique_ptr<sramman::TSRAMManForm> sram_;
  xchanger::PortBackend* port_ = nullptr;
  QStringList questions_;
};

TEST_F(RomToCardTest, CtrlWWritesTheSelectedRomAsItStandsAndTheCardEndsEqualToIt) {
  // Filler at the end: the card gets the whole file, not the stripped copy
  // the flash job would make.
  const QString rom =
      MakeRom("new.gb", {.size = kCard4Mbit, .title = "NEWGAME", .fillerFrom = 300000});
  const QString other = MakeRom("other.gb");
  AddRoms({other, rom});
  Sram();
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));

  // Nothing or two selected: nothing is asked or written.
  SelectRows({});
  QTest::keyClick(&List(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(Panel(0), " First select one ROM from list !");
  SelectRows({0, 1});
  Action("WriteToCard").trigger();
  EXPECT_EQ(Panel(0), " Please select SINGLE ROM from list !");
  EXPECT_TRUE(questions_.isEmpty());
  EXPECT_FALSE(Sram().isVisible());

  SelectRows({1});
  QTest::keyClick(&List(), Qt::Key_W, Qt::ControlModifier);
  ASSERT_EQ(questions_.size(), 1);
  EXPECT_TRUE(questions_[0].startsWith("Write new.gb (524288 bytes) onto the 4 Mbit flash card?"))
      << questions_[0].toStdString();
  EXPECT_TRUE(questions_[0].endsWith(
      "The card will then hold this one game. A card of several games needs the menu program "
      "of the VELTRA flashing tool, which velwin does not have."))
      << questions_[0].toStdString();
  // The job's window stays open over the main window with the result.
  EXPECT_TRUE(Sram().isVisible());
  EXPECT_TRUE(Sram().Memo1()->toPlainText().split('\n').last().startsWith(
      "\u2022 Card verified: 524288 bytes. Written in "));
  EXPECT_TRUE(Card() == ReadFile(rom));
  EXPECT_TRUE(boxes_.Errors().isEmpty()) << boxes_.Errors().join('\n').toStdString();
}

}  // namespace
}  // namespace velwin::mainwindow::testing
