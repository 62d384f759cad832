// Patching the selected ROM with an IPS file from the main window.

#include "tests/mainwindow/main_window_fixture.h"

namespace velwin::mainwindow::testing {
namespace {

class IpsClickTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    // Both databases present: the lookup after a patch leaves the patch
    // result in the message panel.
    WriteText(BaseDir() + "/user.ini", "");
    WriteText(BaseDir() + "/veltra.ini", "");
  }

  QString MakeIps(const std::string& body) {
    const QString path = RomDir() + "/fix.ips";
    WriteText(path, "PATCH" + body);
    return path;
  }
};

TEST_F(IpsClickTest, NeedsExactlyOneSelectedRom) {
  AddRoms({MakeRom("a.gb"), MakeRom("b.gb")});
  SelectRows({});
  Press("IPS");
  EXPECT_EQ(Panel(0), " First select one ROM from list !");
  SelectRows({0, 1});
  Press("IPS");
  EXPECT_EQ(Panel(0), " Please select SINGLE ROM from list !");
  EXPECT_EQ(dialogs_.Requests().size(), 1u);  // only the Add dialog ran
}

TEST_F(IpsClickTest, CancelledDialogAbortsWithTheRomName) {
  AddRoms({MakeRom("a.gb"), MakeRom("zelda.gb")});
  SelectRows({1});
  const std::int32_t total = Form().TotalFileSize();
  dialogs_.QueueCancel();
  Press("IPS");
  const gui::FileDialogRequest& request = dialogs_.Requests().back();
  EXPECT_EQ(request.kind, gui::FileDialogRequest::Kind::kOpenOne);
  EXPECT_EQ(request.title, "Select IPS file to patch \"zelda.gb\"");
  EXPECT_EQ(request.filters, QStringList({"IPS files (*.ips)", "All files (*.*)"}));
  EXPECT_EQ(Panel(0), " Patching \"zelda.gb\" aborted.");
  EXPECT_EQ(Form().TotalFileSize(), total);
}

TEST_F(IpsClickTest, PatchRefreshesLabelsTotalsAndLookup) {
  WriteText(BaseDir() + "/user.ini", "Patched Game\r\nCRC: 0X4321\r\n");
  const QString other = MakeRom("other.gb", {.size = 1000});
  const QString rom = MakeRom("game.gb", {.size = 32768, .title = "OLD"});
  AddRoms({other, rom});
  SelectRows({1});
  // New title and checksum, and a run that makes the file 40,000 bytes long.
  std::string body;
  body += std::string("\x00\x01\x34\x00\x03", 5) + "NEW";
  body += std::string("\x00\x01\x4E\x00\x02", 5) + std::string("\x43\x21", 2);
  body += std::string("\x00\x9C\x3F\x00\x00\x00\x01\x55", 8);
  body += "EOF";
  dialogs_.QueueAnswer({MakeIps(body)});
  Press("IPS");
  EXPECT_EQ(Panel(0), " 3 patches applied to \"game.gb\"");
  EXPECT_EQ(Label("romname"), "NEW");
  EXPECT_EQ(Label("fsize"), "40000");
  EXPECT_EQ(Label("romdbase"), "User.INI");
  EXPECT_EQ(Label("ROMDBName"), "Patched Game");
  EXPECT_EQ(Form().TotalFileSize(), 1000 + 40000);
  EXPECT_EQ(Form().TotalStrippedSize(), 32768 + 65536);
  EXPECT_EQ(Form().RomPaths(), QStringList({other, rom}));
}

TEST_F(IpsClickTest, InvalidPatchLeavesRomAndTotals) {
  const QString rom = MakeRom("game.gb");
  AddRoms({rom});
  SelectRows({0});
  const auto before = ReadFile(rom);
  const QString ips = RomDir() + "/bad.ips";
  WriteText(ips, "patch");
  dialogs_.QueueAnswer({ips});
  Press("IPS");
  EXPECT_EQ(Panel(0), " Invalid IPS file - patcing aborted.");
  EXPECT_EQ(ReadFile(rom), before);
  EXPECT_EQ(Form().TotalFileSize(), 32768);
  EXPECT_EQ(Form().TotalStrippedSize(), 32768);
}

TEST_F(IpsClickTest, FailedPatchShowsTheErrorAndKeepsTheRomCounted) {
  const QString rom = MakeRom("game.gb", {.size = 50000});
  AddRoms({rom});
  SelectRows({0});
  dialogs_.QueueAnswer({RomDir() + "/gone.ips"});
  Press("IPS");
  EXPECT_EQ(boxes_.Errors(), QStringList({"File not found"}));
  EXPECT_EQ(Panel(0), " Selecting IPS file for \"game.gb\"");
  EXPECT_EQ(Form().TotalFileSize(), 50000);
  EXPECT_EQ(Form().TotalStrippedSize(), 65536);
}

}  // namespace
}  // namespace velwin::mainwindow::testing
