// The list click, the status bar, drag and drop, the flash job, the SRAM
// button and the standard error box.

#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QSizeGrip>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include "mainwindow/status_panels.h"
#include "tests/mainwindow/main_window_fixture.h"

namespace velwin::mainwindow::testing {
namespace {

using MainWindowBehaviourTest = MainWindowTest;

TEST_F(MainWindowBehaviourTest, WindowHasAFixedBorder) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  EXPECT_EQ(Form().size(), QSize(545, 289));
  EXPECT_EQ(Form().minimumSize(), Form().maximumSize());
  EXPECT_TRUE(Form().windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(Form().windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(Form().windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
  EXPECT_TRUE(Form().findChildren<QSizeGrip*>().isEmpty());
}

TEST_F(MainWindowBehaviourTest, UserSelectionAnalysesAndLooksUp) {
  WriteText(BaseDir() + "/user.ini", "Beta Quest (E)\r\nCRC: 0XBEEF\r\n");
  const QString a = MakeRom("a.gb", {.title = "ALPHA", .checksum = 0x0A3F});
  const QString b = MakeRom("b.gb", {.title = "BETA", .checksum = 0xBEEF});
  AddRoms({a, b});
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));

  const QPoint first = List().visualItemRect(List().item(0)).center();
  QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, first);
  EXPECT_EQ(Label("romname"), "ALPHA");
  EXPECT_EQ(Label("ROMCRC"), "0A3F");
  EXPECT_EQ(Label("romdbase"), "none");
  EXPECT_EQ(Label("ROMDBName"), "-");
  // veltra.ini does not exist, which on Linux is no error: the analysis
  // keeps the last word.
  EXPECT_EQ(Panel(0), "Accessing a.gb ...  OK");

  QTest::keyClick(List().viewport(), Qt::Key_Down);
  EXPECT_EQ(Label("romname"), "BETA");
  EXPECT_EQ(Label("romdbase"), "User.INI");
  EXPECT_EQ(Label("ROMDBName"), "Beta Quest (E)");
}

TEST_F(MainWindowBehaviourTest, ProgramChangesToTheListDoNotRunTheClickHandler) {
  WriteText(BaseDir() + "/user.ini", "Name\r\nCRC: 0X1234\r\n");
  AddRoms({MakeRom("a.gb"), MakeRom("b.gb")});
  SelectRows({0});
  Press("RemoveROMs");
  Press("ClearROMs");
  EXPECT_EQ(Label("romdbase"), "**********");
}

TEST_F(MainWindowBehaviourTest, StatusBarDrawsTotalsInTheCardColour) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  auto countColour = [this](int panel, const QColor& colour) {
    const QImage image = Bar().grab().toImage();
    const QRect rect = Bar().PanelRect(panel);
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
      for (int x = rect.left(); x <= rect.right(); ++x) {
        count += image.pixelColor(x, y) == colour ? 1 : 0;
      }
    }
    return count;
  };
  const QColor green(0, 128, 0);
  const QColor yellow(255, 255, 0);
  EXPECT_GT(countColour(kStrippedSizePanel, green), 0);
  EXPECT_GT(countColour(kFreeSpacePanel, green), 0);
  EXPECT_EQ(countColour(kTotalSizePanel, green), 0);
  EXPECT_GT(countColour(kTotalSizePanel, QColor(0, 0, 0)), 0);

  // 16 blocks without filler: 524,288 bytes need the 16 Mbit card.
  AddRoms({MakeRom("big.gb", {.size = 524288})});
  EXPECT_GT(countColour(kStrippedSizePanel, yellow), 0);
  EXPECT_GT(countColour(kFreeSpacePanel, yellow), 0);
  EXPECT_EQ(countColour(kStrippedSizePanel, green), 0);
  EXPECT_EQ(countColour(kTotalSizePanel, yellow), 0);
}

TEST_F(MainWindowBehaviourTest, DroppedFilesAreAddedLikeChosenOnes) {
  const QString a = MakeRom("a.gb");
  const QString notRom = MakeRom("b.txt", {.withLogo = false});
  QMimeData mime;
  mime.setUrls(
      {QUrl::fromLocalFile(a), QUrl::fromLocalFile(notRom), QUrl("https://example.com/c.gb")});
  QWidget* target = List().viewport();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(Form().RomPaths(), QStringList({a}));
  EXPECT_EQ(Form().TotalFileSize(), 32768);
  EXPECT_EQ(Panel(1), "32768");
  // A drop is no dialog run: the folder the settings keep stays as it was.
  EXPECT_TRUE(dialogs_.Requests().empty());

  QMimeData text;
  text.setText("not a file");
  QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(MainWindowBehaviourTest, FlashJobWritesCopiesAndStartsTheTool) {
  const QString a = MakeRom("a.gb", {.size = 100000, .fillerFrom = 65536});
  const QString b = MakeRom("b.gb", {.size = 10000});
  AddRoms({a, b});
  Press("VELTRA");
  ASSERT_TRUE(boxes_.Errors().isEmpty()) << boxes_.Errors().join(";").toStdString();
  ASSERT_EQ(launcher_.calls.size(), 1u);
  EXPECT_EQ(launcher_.calls[0].program, "../veltra");
  EXPECT_EQ(launcher_.calls[0].arguments, std::vector<std::string>({"*.stp"}));
  EXPECT_EQ(QDir(QString::fromStdString(launcher_.calls[0].workingDirectory)).canonicalPath(),
            QDir(BaseDir() + "/paldmi.tmp").canonicalPath());
  EXPECT_EQ(ReadFile(BaseDir() + "/paldmi.tmp/0.stp").size(), 65536u);
  EXPECT_EQ(ReadFile(BaseDir() + "/paldmi.tmp/1.stp"), ReadFile(b));
  EXPECT_EQ(Label("fname"), "b.gb");
}

TEST_F(MainWindowBehaviourTest, FailingHandlerShowsTheErrorBoxAndTheProgramGoesOn) {
  const QString a = MakeRom("a.gb");
  const QString b = MakeRom("b.gb");
  AddRoms({a, b});
  ASSERT_TRUE(QFile::remove(b));
  Press("VELTRA");
  EXPECT_EQ(boxes_.Errors(), QStringList({"Cannot copy \"" + b +
                                          "\": File not found. VELTRA was not started; check the "
                                          "file or remove it from the list."}));
  EXPECT_TRUE(launcher_.calls.empty());
  // Nothing is left for the tool; the window shows where the job stopped.
  EXPECT_TRUE(QDir(BaseDir() + "/paldmi.tmp").isEmpty());
  EXPECT_EQ(Panel(0), "Accessing b.gb ...  ERROR");
  EXPECT_EQ(Label("fname"), "b.gb");

  // The window still works.
  Press("ClearROMs");
  EXPECT_EQ(List().count(), 0);
  EXPECT_EQ(boxes_.Errors().size(), 1);
}

TEST_F(MainWindowBehaviourTest, ToolThatCannotStartIsShownAndTheCopiesStay) {
  AddRoms({MakeRom("a.gb")});
  launcher_.failure = std::make_error_code(std::errc::no_such_file_or_directory);
  Press("VELTRA");
  // On Linux the box also points to the way to the card without the tool.
  EXPECT_EQ(boxes_.Errors(),
            QStringList({"Cannot start \"../veltra\": No such file or directory. Put the VELTRA "
                         "tool next to the paldmi.tmp folder. To put one ROM on the card without "
                         "it, select the ROM and choose \"Write to Card\u2026\" from the list's "
                         "context menu (Ctrl+W)."}));
  EXPECT_TRUE(QFile::exists(BaseDir() + "/paldmi.tmp/0.stp"));

  // A tool that is there but may not run is another matter.
  boxes_.Clear();
  launcher_.failure = std::make_error_code(std::errc::permission_denied);
  Press("VELTRA");
  ASSERT_EQ(boxes_.Errors().size(), 1);
  EXPECT_FALSE(boxes_.Errors()[0].contains("Write to Card")) << boxes_.Errors()[0].toStdString();
}

TEST_F(MainWindowBehaviourTest, CtrlOAddsAndDeleteRemovesTheSelectedRoms) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
  const QString a = MakeRom("a.gb");
  const QString b = MakeRom("b.gb");
  dialogs_.QueueAnswer({a, b});
  QTest::keyClick(&List(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(List().count(), 2);
  SelectRows({0});
  QTest::keyClick(&List(), Qt::Key_Delete);
  EXPECT_EQ(Form().RomPaths(), QStringList({b}));
  EXPECT_EQ(Form().TotalFileSize(), 32768);
}

// The size panels show bare numbers: hovering one tells what it counts.
TEST_F(MainWindowBehaviourTest, SizePanelsTellWhatTheirNumbersCount) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  const auto tipAt = [this](QPoint pos) {
    QHelpEvent help(QEvent::ToolTip, pos, Bar().mapToGlobal(pos));
    QApplication::sendEvent(&Bar(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  const char* starts[] = {"Total size: ", "Stripped size: ", "Free space: "};
  for (int panel = kTotalSizePanel; panel <= kFreeSpacePanel; ++panel) {
    const QString tip = tipAt(Bar().PanelRect(panel).center());
    EXPECT_TRUE(tip.startsWith(starts[panel - 1])) << panel << ": " << tip.toStdString();
    EXPECT_TRUE(tip.contains("bytes")) << panel;
  }
  // The two pixels between panels 1 and 2 still belong to panel 1.
  const QRect total = Bar().PanelRect(kTotalSizePanel);
  EXPECT_TRUE(tipAt(QPoint(total.right() + 2, total.center().y())).startsWith(starts[0]));
}

TEST_F(MainWindowBehaviourTest, ClosingDeletesTheStrippedCopies) {
  ASSERT_TRUE(QDir(BaseDir()).mkpath("paldmi.tmp"));
  WriteText(BaseDir() + "/paldmi.tmp/0.stp", "x");
  WriteText(BaseDir() + "/paldmi.tmp/255.stp", "x");
  WriteText(BaseDir() + "/paldmi.tmp/256.stp", "x");
  WriteText(BaseDir() + "/paldmi.tmp/notes.txt", "x");
  CloseForm();
  EXPECT_FALSE(QFile::exists(BaseDir() + "/paldmi.tmp/0.stp"));
  EXPECT_FALSE(QFile::exists(BaseDir() + "/paldmi.tmp/255.stp"));
  EXPECT_FALSE(QFile::exists(BaseDir() + "/paldmi.tmp/256.stp"));
  EXPECT_TRUE(QFile::exists(BaseDir() + "/paldmi.tmp/notes.txt"));
  EXPECT_TRUE(boxes_.Errors().isEmpty());
}

TEST_F(MainWindowBehaviourTest, SramButtonShowsTheManagerModally) {
  Press("SRAMButton");  // none set yet: nothing happens
  EXPECT_TRUE(boxes_.Errors().isEmpty());

  QDialog manager;
  bool wasModal = false;
  Form().SetSramManagerWindow(&manager);
  QTimer::singleShot(0, &manager, [&] {
    wasModal = manager.isVisible() && manager.isModal();
    manager.accept();
  });
  Press("SRAMButton");
  EXPECT_TRUE(wasModal);
  EXPECT_FALSE(manager.isVisible());
}

}  // namespace
}  // namespace velwin::mainwindow::testing
