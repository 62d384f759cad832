#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "mainwindow/flash/tool_launcher.h"
#include "mainwindow/status_bar.h"
#include "mainwindow/velwinmain.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/qt_printers.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/mainwindow/test_roms.h"

namespace velwin::mainwindow::testing {

// A launcher that only remembers what it was asked to start.
class RecordingLauncher : public flash::ToolLauncher {
 public:
  struct Call {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDirectory;
  };
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory) override {
    calls.push_back({program, arguments, workingDirectory});
  }
  std::vector<Call> calls;
};

// A main window over a temporary folder: ROM files, databases, the scratch
// directory and the settings file all live there.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    ASSERT_TRUE(temp_.isValid());
    ASSERT_TRUE(QDir(temp_.path()).mkpath("config"));
    ASSERT_TRUE(QDir(temp_.path()).mkpath("base"));
    ASSERT_TRUE(QDir(temp_.path()).mkpath("roms"));
    qputenv("VELWIN_CONFIG_DIR", (temp_.path() + "/config").toUtf8());
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

  QString BaseDir() const { return temp_.path() + "/base"; }
  QString RomDir() const { return temp_.path() + "/roms"; }
  QString IniPath() const { return temp_.path() + "/config/velwin.ini"; }

  QString MakeRom(const QString& name, const RomImage& image = {}) {
    const QString path = RomDir() + "/" + name;
    WriteFile(path, MakeRomBytes(image));
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

  QTemporaryDir temp_;
  gui::testing::ScriptedFileDialogs dialogs_;
  gui::testing::RecordingMessageBoxes boxes_;
  RecordingLauncher launcher_;
  std::unique_ptr<TForm1> form_;
};

}  // namespace velwin::mainwindow::testing
