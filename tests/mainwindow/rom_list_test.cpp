// Adding, removing and clearing ROM files, and the totals they keep.

#include <QFile>
#include <QLabel>
#include <QSignalBlocker>

#include "gui/default_folder.h"
#include "rom/header_info.h"
#include "rom/rom_analysis.h"
#include "tests/mainwindow/main_window_fixture.h"
#include "tests/support/temp_dir.h"

namespace velwin::mainwindow::testing {
namespace {

using RomListTest = MainWindowTest;

TEST_F(RomListTest, WindowStartsWithItsCaptionsAndEmptyList) {
  TForm1& form = Form();
  EXPECT_EQ(form.objectName(), "Form1");
  EXPECT_EQ(form.windowTitle(), "VELTRA Windows front-end v1.21 by Tessaloc");
  EXPECT_EQ(form.size(), QSize(545, 289));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  for (const char* name : {"fname", "fsize", "fssize", "fileisgbrom", "romname", "romcolor",
                           "romsize", "ROMCRC", "romdbase", "ROMDBName"}) {
    EXPECT_EQ(Label(name), "**********") << name;
  }
  EXPECT_EQ(Panel(0), "");
  EXPECT_EQ(Panel(1), "Total size");
  EXPECT_EQ(List().count(), 0);
  const char* const captions[][2] = {{"AddROMs", "Add    "},    {"RemoveROMs", "Remove "},
                                     {"ClearROMs", "Clear  "},  {"VELTRA", "VELTRA "},
                                     {"SRAMButton", "SRAM   "}, {"IPS", "Use IPS"}};
  for (const auto& [name, caption] : captions) {
    auto* button = form.findChild<QToolButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->text(), caption);
    EXPECT_FALSE(button->icon().isNull()) << name;
  }
  EXPECT_EQ(form.findChild<QToolButton*>("IPS")->toolTip().split('\n').size(), 5);
  EXPECT_TRUE(boxes_.Errors().isEmpty());
}

TEST_F(RomListTest, ChecksumValueTellsWhetherTheHeaderChecksumHolds) {
  std::vector<std::uint8_t> bytes = MakeRomBytes({.title = "GOOD"});
  rom::RomHeaderBuffer header{};
  std::copy_n(bytes.begin(), header.size(), header.begin());
  bytes[rom::kHeaderChecksumOffset] = rom::ComputeHeaderChecksum(header);
  const QString good = RomDir() + "/good.gb";
  velwin::testing::WriteBytes(good.toStdString(), bytes);
  bytes[rom::kHeaderChecksumOffset]++;
  const QString bad = RomDir() + "/bad.gb";
  velwin::testing::WriteBytes(bad.toStdString(), bytes);

  auto* crc = Form().findChild<QLabel*>("ROMCRC");
  ASSERT_NE(crc, nullptr);
  const QColor normal = crc->palette().color(QPalette::WindowText);
  ASSERT_NE(normal, QColor(Qt::red));
  struct Step {
    QString path;
    const char* tip;
    QColor colour;
  };
  for (const Step& step :
       {Step{bad, "Header checksum invalid", Qt::red}, Step{good, "Header checksum valid", normal},
        Step{bad, "Header checksum invalid", Qt::red}, Step{RomDir() + "/gone.gb", "", normal}}) {
    AddRoms({step.path});
    EXPECT_EQ(crc->toolTip().section(':', 0, 0), step.tip);
    EXPECT_EQ(crc->palette().color(QPalette::WindowText), step.colour) << step.tip;
  }
  EXPECT_EQ(Label("ROMCRC"), "-");  // the last file was not there
}

TEST_F(RomListTest, AddAnalysesEachFileAndListsTheRoms) {
  const QString a = MakeRom("a.gb", {.size = 40000, .title = "ALPHA"});
  const QString b = MakeRom("b.gb", {.size = 65536, .title = "BETA", .fillerFrom = 32768});
  AddRoms({a, b});

  ASSERT_EQ(dialogs_.Requests().size(), 1u);
  const gui::FileDialogRequest& request = dialogs_.Requests()[0];
  EXPECT_EQ(request.kind, gui::FileDialogRequest::Kind::kOpenMany);
  EXPECT_EQ(request.filters, QStringList({"GB ROMs (*.gb*)", "All Files (*.*)"}));
  EXPECT_EQ(request.initialDirectory, gui::DesktopOrHomeFolder());  // nothing stored yet

  EXPECT_EQ(Form().RomPaths(), QStringList({a, b}));
  // A 40,000-byte file without filler takes two whole blocks.
  EXPECT_EQ(Form().TotalFileSize(), 40000 + 65536);
  EXPECT_EQ(Form().TotalStrippedSize(), 65536 + 32768);
  EXPECT_EQ(Panel(0), "Accessing b.gb ...  OK");
  EXPECT_EQ(Panel(1), "105536");
  EXPECT_EQ(Label("fname"), "b.gb");
  EXPECT_EQ(Label("romname"), "BETA");
  EXPECT_EQ(Label("fssize"), "32768");
  // Adding looks nothing up in the databases.
  EXPECT_EQ(Label("romdbase"), "**********");
}

TEST_F(RomListTest, NonRomsAndDuplicatesStayOut) {
  const QString rom = MakeRom("tetris.gb");
  const QString notRom = MakeRom("notes.gb", {.withLogo = false});
  AddRoms({rom});
  const std::int32_t total = Form().TotalFileSize();

  // Paths are compared without regard to letter case, even where the file
  // system would keep both names apart.
  const QString upper = MakeRom("TETRIS.GB");
  AddRoms({rom, upper, notRom, RomDir() + "/missing.gb"});
  EXPECT_EQ(Form().RomPaths(), QStringList({rom}));
  EXPECT_EQ(Form().TotalFileSize(), total);
  EXPECT_EQ(Panel(0), "Accessing missing.gb ...  ERROR");
  EXPECT_EQ(Label("fileisgbrom"), "NO");
  EXPECT_EQ(Label("romname"), "-");
  EXPECT_TRUE(boxes_.Errors().isEmpty());
}

TEST_F(RomListTest, CancelledAddChangesNothing) {
  AddRoms({MakeRom("a.gb")});
  const QString panel0 = Panel(0);
  dialogs_.QueueCancel();
  Press("AddROMs");
  EXPECT_EQ(List().count(), 1);
  EXPECT_EQ(Panel(0), panel0);
  EXPECT_EQ(Panel(1), "32768");
  // The second run opens where the first chosen file lies.
  EXPECT_EQ(dialogs_.Requests().back().initialDirectory, RomDir());
}

TEST_F(RomListTest, RemoveTakesOutTheSelectedItemsInOrder) {
  QStringList paths;
  for (int i = 0; i < 4; ++i) {
    paths.append(MakeRom(
        QString("r%1.gb").arg(i),
        {.size = static_cast<std::size_t>(1000 * (i + 1)), .title = "ROM" + std::to_string(i)}));
  }
  AddRoms(paths);
  EXPECT_EQ(Form().TotalFileSize(), 10000);
  SelectRows({1, 2});
  Press("RemoveROMs");
  EXPECT_EQ(Form().RomPaths(), QStringList({paths[0], paths[3]}));
  EXPECT_EQ(Form().TotalFileSize(), 1000 + 4000);
  EXPECT_EQ(Form().TotalStrippedSize(), 2 * 32768);
  EXPECT_EQ(Panel(1), "5000");
  EXPECT_EQ(Panel(0), "Accessing r2.gb ...  OK");
  // The panel showed a removed ROM: it starts again, checksum hint and all.
  for (const char* name : {"fname", "fsize", "romname", "ROMCRC", "romdbase"})
    EXPECT_EQ(Label(name), "**********") << name;
  EXPECT_EQ(Form().findChild<QLabel*>("ROMCRC")->toolTip(), "");
}

TEST_F(RomListTest, RemoveWithoutSelectionAnalysesNothing) {
  AddRoms({MakeRom("a.gb")});
  SelectRows({});
  Bar().SetPanelText(0, "untouched");
  Press("RemoveROMs");
  EXPECT_EQ(List().count(), 1);
  EXPECT_EQ(Panel(0), "untouched");
  EXPECT_EQ(Panel(1), "32768");
}

TEST_F(RomListTest, VanishedFileIsStillRemoved) {
  const QString a = MakeRom("a.gb", {.size = 50000});
  const QString b = MakeRom("b.gb", {.size = 70000});
  AddRoms({a, b});
  ASSERT_TRUE(QFile::remove(a));
  SelectRows({0});
  Press("RemoveROMs");
  EXPECT_EQ(Form().RomPaths(), QStringList({b}));
  EXPECT_EQ(Panel(0), "Accessing a.gb ...  ERROR");
  // Nothing could be measured, so nothing is subtracted: never the sizes
  // another file left in the labels.
  EXPECT_EQ(Form().TotalFileSize(), 120000);
  EXPECT_TRUE(boxes_.Errors().isEmpty());
}

TEST_F(RomListTest, FileFailingPartWayAddsOnlyWhatItMeasured) {
  const QString big = MakeRom("big.gb", {.size = 131072});
  // Long enough for the logo, too short for the whole header: the file
  // size is read, the stripped size never is.
  const QString shortRom = MakeRom("short.gb", {.size = 320});
  AddRoms({big, shortRom});
  EXPECT_EQ(Form().RomPaths(), QStringList({big, shortRom}));
  EXPECT_EQ(Panel(0), "Accessing short.gb ...  ERROR");
  EXPECT_EQ(Form().TotalFileSize(), 131072 + 320);
  EXPECT_EQ(Form().TotalStrippedSize(), 131072);
}

TEST_F(RomListTest, ClearEmptiesListAndTotalsButKeepsLabels) {
  AddRoms({MakeRom("a.gb", {.title = "KEEP"})});
  Press("ClearROMs");
  EXPECT_EQ(List().count(), 0);
  EXPECT_EQ(Form().TotalFileSize(), 0);
  EXPECT_EQ(Form().TotalStrippedSize(), 0);
  EXPECT_EQ(Panel(1), "0");
  EXPECT_EQ(Label("romname"), "KEEP");
  Press("ClearROMs");
  EXPECT_EQ(Panel(1), "0");
}

TEST_F(RomListTest, ListShowsOnlyTheFileNameOfEachPath) {
  ASSERT_TRUE(QDir(RomDir()).mkpath("deeper/folder"));
  AddRoms({MakeRom("shown.gb"), MakeRom("deeper/folder/shown.gb"), MakeRom("other.gb")});
  ASSERT_EQ(List().count(), 3);
  {
    const QSignalBlocker blocker(&List());
    List().clearSelection();
    List().setCurrentRow(-1);
  }
  Form().show();
  const QImage view = List().viewport()->grab().toImage();
  auto row = [&](int index) {
    const QRect rect = List().visualItemRect(List().item(index));
    EXPECT_EQ(rect.height(), 16);
    return view.copy(rect);
  };
  // Same name in another folder draws the same; another name does not.
  EXPECT_EQ(row(0), row(1));
  EXPECT_NE(row(0), row(2));
}

}  // namespace
}  // namespace velwin::mainwindow::testing
