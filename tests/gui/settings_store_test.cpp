#include "gui/settings_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace velwin::gui {
namespace {

constexpr const char* kMainKey = "\\SOFTWARE\\Tessaloc\\velwin";

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    qputenv("VELWIN_CONFIG_DIR", dir_.path().toUtf8());
  }
  void TearDown() override { qunsetenv("VELWIN_CONFIG_DIR"); }

  QString IniPath() const { return dir_.path() + "/velwin.ini"; }

  // Puts a raw text into the INI file, as a hand edit would.
  void StoreRaw(const QString& group, const QString& name, const QString& text) {
    QSettings raw(IniPath(), QSettings::IniFormat);
    raw.setValue(group + "/" + name, text);
  }

  std::string ReadIntegerError(const QString& text) {
    StoreRaw("SOFTWARE/Tessaloc/velwin", "XPosition", text);
    auto key = OpenSettingsKey(kMainKey);
    try {
      key->ReadInteger("XPosition");
    } catch (const SettingsError& error) {
      return error.what();
    }
    return "no error";
  }

  QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, ValuesSurviveClosingTheKeyInTheNamedGroup) {
  {
    auto key = OpenSettingsKey(kMainKey);
    EXPECT_FALSE(key->ValueExists("ROMsDir"));
    key->WriteString("ROMsDir", "/home/user/roms");
    key->WriteInteger("XPosition", -120);
    key->WriteInteger("YPosition", 2147483647);
  }
  ASSERT_TRUE(QFile::exists(IniPath()));
  QSettings raw(IniPath(), QSettings::IniFormat);
  EXPECT_EQ(raw.value("SOFTWARE/Tessaloc/velwin/ROMsDir").toString(), "/home/user/roms");

  auto key = OpenSettingsKey(kMainKey);
  EXPECT_TRUE(key->ValueExists("ROMsDir"));
  EXPECT_FALSE(key->ValueExists("IPSsDir"));
  EXPECT_EQ(key->ReadString("ROMsDir"), "/home/user/roms");
  EXPECT_EQ(key->ReadInteger("XPosition"), -120);
  EXPECT_EQ(key->ReadInteger("YPosition"), 2147483647);
}

TEST_F(SettingsStoreTest, KeysDoNotShareValues) {
  OpenSettingsKey(kMainKey)->WriteInteger("XPosition", 5);
  auto other = OpenSettingsKey("Software\\VELTRA");
  EXPECT_FALSE(other->ValueExists("XPosition"));
  other->WriteInteger("SRAM_Manager_Top", 7);
  other.reset();
  auto main = OpenSettingsKey(kMainKey);
  EXPECT_FALSE(main->ValueExists("SRAM_Manager_Top"));
  EXPECT_EQ(main->ReadInteger("XPosition"), 5);
}

TEST_F(SettingsStoreTest, IntegerThatIsNoNumberIsOfTheWrongType) {
  EXPECT_EQ(ReadIntegerError("abc"), "Invalid data type for 'XPosition'");
  EXPECT_EQ(ReadIntegerError("12abc"), "Invalid data type for 'XPosition'");
  EXPECT_EQ(ReadIntegerError(""), "Invalid data type for 'XPosition'");
  EXPECT_EQ(ReadIntegerError("1.5"), "Invalid data type for 'XPosition'");
}

TEST_F(SettingsStoreTest, IntegerBeyond32BitsCannotBeRead) {
  EXPECT_EQ(ReadIntegerError("2147483647"), "no error");
  EXPECT_EQ(ReadIntegerError("2147483648"), "Failed to get data for 'XPosition'");
  EXPECT_EQ(ReadIntegerError("-2147483648"), "no error");
  EXPECT_EQ(ReadIntegerError("-2147483649"), "Failed to get data for 'XPosition'");
  EXPECT_EQ(ReadIntegerError("99999999999999999999999"), "Failed to get data for 'XPosition'");
}

TEST_F(SettingsStoreTest, IniStoreReadsANumberAsItsText) {
  OpenSettingsKey(kMainKey)->WriteInteger("XPosition", 42);
  EXPECT_EQ(OpenSettingsKey(kMainKey)->ReadString("XPosition"), "42");
}

TEST_F(SettingsStoreTest, StoreThatCannotBeWrittenLosesWritesQuietly) {
  // A regular file where the directory should be: nothing can be created
  // below it, whoever runs the test.
  QFile blocker(dir_.path() + "/not-a-dir");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  qputenv("VELWIN_CONFIG_DIR", (dir_.path() + "/not-a-dir/deeper").toUtf8());
  EXPECT_NO_THROW({
    auto key = OpenSettingsKey(kMainKey);
    key->WriteString("ROMsDir", "/x");
    key->WriteInteger("XPosition", 1);
  });
  EXPECT_FALSE(OpenSettingsKey(kMainKey)->ValueExists("XPosition"));
}

}  // namespace
}  // namespace velwin::gui
