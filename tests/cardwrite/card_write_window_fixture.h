#pragma once

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sram/sram_port.h"
#include "sramman/sram_manager_form.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/recording_message_boxes.h"
#include "tests/guisupport/scripted_file_dialogs.h"
#include "tests/sram/test_carts.h"
#include "tests/support/temp_dir.h"

namespace velwin::sramman::testing {

using velwin::testing::Bytes;
using velwin::testing::ReadBytes;
using velwin::testing::TempDir;

// The SRAM manager on a simulated card, with its settings, dialogs, card
// backups and questions kept apart from the user's.
class CardWriteJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    gui::testing::EnsureQtApplication();
    qputenv("VELWIN_CONFIG_DIR", QByteArray::fromStdString(files_.File("config")));
  }
  void TearDown() override { qunsetenv("VELWIN_CONFIG_DIR"); }

  void Open(const std::string& card, const Bytes& contents, const std::string& faults = "") {
    romFile_ = files_.Write("card.gb", contents);
    SramManagerParts parts;
    parts.dialogs = &dialogs_;
    parts.messages = &messages_;
    std::string error;
    parts.port = OpenSramPort("sim:card=" + card + ",rom=" + romFile_ + faults, error);
    ASSERT_TRUE(parts.port) << error;
    port_ = parts.port.get();
    form_ = std::make_unique<TSRAMManForm>(nullptr, std::move(parts));
    form_->CardWrite()->SetConfirm([this](QWidget*, const QString& question) {
      asked_.append(question);
      return agree_;
    });
  }
  // Writes the image file after the question, answered with agree.
  void WriteImage(const std::string& path, bool agree) {
    agree_ = agree;
    dialogs_.QueueAnswer({QString::fromStdString(path)});
    form_->CardWrite()->Action()->trigger();
  }
  Bytes CardNow() {
    std::string error;
    EXPECT_TRUE(port_->Flush(error)) << error;
    return ReadBytes(romFile_);
  }
  QString LastLog() const { return form_->Memo1()->toPlainText().split('\n').last(); }
  std::vector<std::filesystem::path> Backups() const {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(backupFolder_, error))
      found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
  }

  TempDir files_;
  const ScopedDataHome data_{files_.File("data")};
  const std::string backupFolder_ = files_.File("data/velwin/card-backups");
  gui::testing::ScriptedFileDialogs dialogs_;
  gui::testing::RecordingMessageBoxes messages_;
  std::string romFile_;
  xchanger::PortBackend* port_ = nullptr;
  std::unique_ptr<TSRAMManForm> form_;
  QStringList asked_;
  bool agree_ = false;
};

}  // namespace velwin::sramman::testing
