#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "mainwindow/status_bar.h"
#include "mainwindow/velwinmain.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/qt_printers.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/mainwindow/test_roms.h"
#include "tests/support/recording_launcher.h"
#include "tests/support/temp_dir.h"

namespace velwin::mainwindow::testing {

using velwin::testing::RecordingLauncher;

// A main window over a temporary folder: ROM files, databases, the scratch
// directory and the settings file all live there.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    ASSERT_TRUE(QDir(Root()).mkpath("config"));
    ASSERT_TRUE(QDir(Root()).mkpath("base"));
    ASSERT_TRUE(QDir(Root()).mkpath("roms"));
    qputenv("VELWIN_CONFIG_DIR", (Root() + "/config").toUtf8());
  }
  void TearDown() override {
    form_.reset();
    qunsetenv("VELWIN_CONFIG_DIR");
  }

  TForm1& Form() {
    if (!form_) {
      form_ = std::make_unique<TForm1>(
          TForm1Dependencies{dialogs_, boxes_, launcher_, BaseDir().toStdString()});
    }
    return *form_;
  }
  void CloseForm() {
    Form().close();
    form_.reset();
  }

  QString Root() const { return QString::fromStdString(temp_.Path().string()); }
  QString BaseDir() const { return Root() + "/base"; }
  QString RomDir() const { return Root() + "/roms"; }
  QString IniPath() const { return Root() + "/config/velwin.ini"; }

  QString MakeRom(const QString& name, const RomFields& fields = {}) {
    const QString path = RomDir() + "/" + name;
    velwin::testing::WriteBytes(path.toStdString(), MakeRomBytes(fields));
    return path;
  }

  QString Label(const char* name) {
    auto* label = Form().findChild<QLabel*>(name);
    return label != nullptr ? label->text() : QString("<no label %1>").arg(name);
  }
  StatusBar& Bar() { return *Form().findChild<StatusBar*>("Status"); }
  QString Panel(int index) { return Bar().PanelText(index); }
  QListWidget& List() { return *Form().findChild<QListWidget*>("ROMsList"); }
  void Press(const char* button) {
    auto* found = Form().findChild<QToolButton*>(button);
    ASSERT_NE(found, nullptr) << button;
    found->click();
  }
  void AddRoms(const QStringList& paths) {
    dialogs_.QueueAnswer(paths);
    Press("AddROMs");
  }
  // Selects rows as a program would, without the user's click handler.
  void SelectRows(const std::vector<int>& rows) {
    const QSignalBlocker blocker(&List());
    List().clearSelection();
    for (int row : rows) {
      List().item(row)->setSelected(true);
    }
  }

  velwin::testing::TempDir temp_;
  gui::testing::ScriptedFileDialogs dialogs_;
  gui::testing::RecordingMessageBoxes boxes_;
  RecordingLauncher launcher_;
  std::unique_ptr<TForm1> form_;
};

}  // namespace velwin::mainwindow::testing
