// Settings read when the main window is created and written when it closes.

#include <QDir>
#include <QSettings>

#include "tests/mainwindow/main_window_fixture.h"

namespace velwin::mainwindow::testing {
namespace {

class MainWindowSettingsTest : public MainWindowTest {
 protected:
  void Store(const QString& name, const QVariant& value) {
    QSettings ini(IniPath(), QSettings::IniFormat);
    ini.setValue("SOFTWARE/Tessaloc/velwin/" + name, value);
  }
  QVariant Stored(const QString& name) {
    QSettings ini(IniPath(), QSettings::IniFormat);
    return ini.value("SOFTWARE/Tessaloc/velwin/" + name);
  }
  // The folders the two dialogs open in now.
  QString RomsDialogFolder() {
    dialogs_.QueueCancel();
    Press("AddROMs");
    return dialogs_.Requests().back().initialDirectory;
  }
  QString IpsDialogFolder() {
    AddRoms({MakeRom("x.gb")});
    SelectRows({0});
    dialogs_.QueueCancel();
    Press("IPS");
    return dialogs_.Requests().back().initialDirectory;
  }
};

TEST_F(MainWindowSettingsTest, FirstStartReadsNothingAndClosingWritesThePosition) {
  // Add starts in the desktop folder, as the SRAM dialogs do; never in the
  // process's current folder.
  const QByteArray savedHome = qgetenv("HOME");
  qputenv("HOME", Root().toUtf8());
  ASSERT_TRUE(QDir(Root()).mkdir("Desktop"));
  EXPECT_EQ(RomsDialogFolder(), Root() + "/Desktop");
  qputenv("HOME", savedHome);
  EXPECT_EQ(IpsDialogFolder(), "");
  EXPECT_TRUE(boxes_.Errors().isEmpty());
  Form().move(31, 47);
  CloseForm();
  EXPECT_EQ(Stored("XPosition").toInt(), 31);
  EXPECT_EQ(Stored("YPosition").toInt(), 47);
  // Add was confirmed once (by IpsDialogFolder), IPS never.
  EXPECT_EQ(Stored("ROMsDir").toString(), RomDir());
  EXPECT_FALSE(Stored("IPSsDir").isValid());
}

TEST_F(MainWindowSettingsTest, StoredValuesPlaceTheWindowAndTheDialogs) {
  Store("ROMsDir", "/stored/roms");
  Store("IPSsDir", "/stored/ips");
  Store("XPosition", 120);
  Store("YPosition", -30);
  EXPECT_EQ(Form().pos(), QPoint(120, -30));
  EXPECT_EQ(RomsDialogFolder(), "/stored/roms");
  EXPECT_EQ(IpsDialogFolder(), "/stored/ips");
  EXPECT_TRUE(boxes_.Errors().isEmpty());
}

TEST_F(MainWindowSettingsTest, WrongTypeStopsLoadingButNotStartUp) {
  Store("ROMsDir", "/stored/roms");
  Store("IPSsDir", "/stored/ips");
  Store("XPosition", "abc");
  Store("YPosition", 77);
  Form();
  EXPECT_EQ(boxes_.Errors(), QStringList({"Invalid data type for 'XPosition'"}));
  EXPECT_NE(Form().y(), 77);
  EXPECT_EQ(RomsDialogFolder(), "/stored/roms");
  EXPECT_EQ(IpsDialogFolder(), "/stored/ips");
}

TEST_F(MainWindowSettingsTest, PositionBeyond32BitsIsReported) {
  Store("YPosition", "4294967296");
  Form();
  EXPECT_EQ(boxes_.Errors(), QStringList({"Failed to get data for 'YPosition'"}));
}

TEST_F(MainWindowSettingsTest, ClosingKeepsFoldersOfDialogsNeverConfirmed) {
  Store("ROMsDir", "/earlier/roms");
  Store("IPSsDir", "/earlier/ips");
  dialogs_.QueueCancel();
  Press("AddROMs");
  CloseForm();
  EXPECT_EQ(Stored("ROMsDir").toString(), "/earlier/roms");
  EXPECT_EQ(Stored("IPSsDir").toString(), "/earlier/ips");
  EXPECT_TRUE(Stored("XPosition").isValid());
}

TEST_F(MainWindowSettingsTest, ClosingStoresTheFolderOfTheFirstChosenFiles) {
  ASSERT_TRUE(QDir(RomDir()).mkpath("games"));
  ASSERT_TRUE(QDir(RomDir()).mkpath("patches"));
  const QString a = MakeRom("games/a.gb");
  AddRoms({a, MakeRom("b.gb")});
  dialogs_.QueueCancel();  // a later cancel keeps the file chosen before
  Press("AddROMs");
  SelectRows({0});
  const QString ips = RomDir() + "/patches/fix.ips";
  WriteText(ips, "PATCHEOF");
  dialogs_.QueueAnswer({ips});
  Press("IPS");
  CloseForm();
  EXPECT_EQ(Stored("ROMsDir").toString(), RomDir() + "/games");
  EXPECT_EQ(Stored("IPSsDir").toString(), RomDir() + "/patches");
}

}  // namespace
}  // namespace velwin::mainwindow::testing
