// The real dialogs of the kit, answered by a timer once they are open.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "mainwindow/file_dialog.h"
#include "mainwindow/message_boxes.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/qt_printers.h"

namespace velwin::gui {
namespace {

// Runs answer on the modal window as soon as one is open.
void WhenModalOpens(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      answer(modal);
    }
  });
  timer->start();
}

class NativeDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::EnsureQtApplication();
    ASSERT_TRUE(dir_.isValid());
    for (const char* name : {"a.gb", "b.gbc", "c.txt"}) {
      QFile file(dir_.path() + "/" + name);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
  }
  QTemporaryDir dir_;
};

TEST_F(NativeDialogsTest, OpenDialogTakesTheRequestAndKeepsTheCurrentDirectory) {
  const QString before = QDir::currentPath();
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::kOpenMany;
  request.title = "Pick ROMs";
  request.initialDirectory = dir_.path();
  request.filters = {"GB ROMs (*.gb*)", "All Files (*.*)"};
  request.fileMustExist = true;

  QString title;
  QStringList filters;
  QString directory;
  bool many = false;
  WhenModalOpens([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    filters = dialog->nameFilters();
    directory = dialog->directory().absolutePath();
    many = dialog->fileMode() == QFileDialog::ExistingFiles;
    dialog->selectFile("\"a.gb\" \"b.gbc\"");
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
  });
  const QStringList chosen = NativeFileDialogs().Run(nullptr, request);

  EXPECT_EQ(title, "Pick ROMs");
  EXPECT_EQ(filters, request.filters);
  EXPECT_EQ(QDir(directory).canonicalPath(), QDir(dir_.path()).canonicalPath());
  EXPECT_TRUE(many);
  ASSERT_EQ(chosen.size(), 2);
  EXPECT_EQ(QFileInfo(chosen[0]).canonicalFilePath(),
            QFileInfo(dir_.path() + "/a.gb").canonicalFilePath());
  EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(NativeDialogsTest, CancelledDialogChoosesNothing) {
  FileDialogRequest request;
  request.initialDirectory = dir_.path();
  WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  EXPECT_TRUE(NativeFileDialogs().Run(nullptr, request).isEmpty());
}

TEST_F(NativeDialogsTest, SaveDialogAddsTheDefaultSuffix) {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::kSave;
  request.initialDirectory = dir_.path();
  request.defaultSuffix = "sav";
  request.promptOverwrite = true;
  bool confirms = false;
  WhenModalOpens([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    dialog->selectFile("game");
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
  });
  const QStringList chosen = NativeFileDialogs().Run(nullptr, request);
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_TRUE(chosen[0].endsWith("/game.sav")) << chosen[0].toStdString();
  EXPECT_TRUE(confirms);
}

TEST_F(NativeDialogsTest, ErrorBoxHasTheApplicationTitleTextAndOk) {
  QString title;
  QString text;
  int buttons = 0;
  WhenModalOpens([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    buttons = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  });
  NativeMessageBoxes().ShowError(nullptr, "File access denied");
  EXPECT_EQ(title, "PALDUR DarURU");
  EXPECT_EQ(text, "File access denied");
  EXPECT_EQ(buttons, 1);
}

}  // namespace
}  // namespace velwin::gui
