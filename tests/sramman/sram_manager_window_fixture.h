#pragma once

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTextCursor>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "sram/sram_port.h"
#include "sramman/sram_manager_form.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {

// The SRAM manager with scripted dialogs and message boxes, its settings and
// home folder of its own.
class SramManagerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(config_.Path().string()));
    // A home of our own, without a desktop folder unless a test makes one.
    savedHome_ = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home_.Path().string()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home_.Path().string() + "/.config"));
    // The job log of a window made as the program makes it.
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(home_.Path().string() + "/.local/state"));
  }
  void TearDown() override {
    qunsetenv("VELWIN_CONFIG_DIR");
    qputenv("HOME", savedHome_);
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_STATE_HOME");
  }

  QString Home() const { return QString::fromStdString(home_.Path().string()); }

  std::unique_ptr<TSRAMManForm> MakeForm(const std::string& port = "demo",
                                         std::optional<std::string> jobLog = std::nullopt) {
    SramManagerParts parts;
    parts.portDescription = port;
    parts.jobLogPath = std::move(jobLog);
    parts.dialogs = &dialogs_;
    parts.messages = &messages_;
    std::string error;
    parts.port = OpenSramPort(port, error);
    EXPECT_TRUE(parts.port) << error;
    return std::make_unique<TSRAMManForm>(nullptr, std::move(parts));
  }

  static QStringList LogLines(const TSRAMManForm& form) {
    return form.Memo1()->toPlainText().split('\n');
  }

  static QString Cell(const TSRAMManForm& form, int row, int column) {
    const auto* item = form.StringGrid1()->item(row, column);
    return item ? item->text() : QString();
  }

  // Shows the window modally and closes it as soon as it is up.
  static void ShowModallyAndClose(TSRAMManForm& form) {
    QTimer::singleShot(0, &form, [&form] { form.close(); });
    form.exec();
  }

  // True when the end of the log lies inside the memo's visible area.
  static bool NewestLineVisible(const TSRAMManForm& form) {
    QTextCursor end(form.Memo1()->document());
    end.movePosition(QTextCursor::End);
    return form.Memo1()->viewport()->rect().contains(form.Memo1()->cursorRect(end));
  }

  velwin::testing::TempDir config_;
  velwin::testing::TempDir home_;
  QByteArray savedHome_;
  velwin::testing::TempDir files_;
  gui::testing::ScriptedFileDialogs dialogs_;
  gui::testing::RecordingMessageBoxes messages_;
};

}  // namespace velwin::sramman::testing
