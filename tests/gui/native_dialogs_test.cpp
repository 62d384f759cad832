// The real dialogs of the kit, answered by a timer once they are open.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "gui/file_dialog.h"
#include "gui/message_boxes.h"
#include "tests/guisupport/qt_application.h"
#include "tests/guisupport/qt_printers.h"

namespace velwin::gui {
namespace {

// Answers whatever modal window is open, again on every tick until it has
// closed: a file dialog may refuse an answer given before it has read its
// folder. Answers must therefore be safe to repeat.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(std::function<void(QWidget*)> answer) {
    QObject::connect(&timer_, &QTimer::timeout, [answer] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        answer(modal);
      }
    });
    timer_.start(10);
  }

 private:
  QTimer timer_;
};

// Types a name into the dialog's file name field, as a user would.
// (selectFile() leaves the field alone while it has the focus.)
void TypeFileName(QFileDialog* dialog, const QString& text) {
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  edit->setText(text);
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
  const ModalAnswerer answerer([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    filters = dialog->nameFilters();
    directory = dialog->directory().absolutePath();
    many = dialog->fileMode() == QFileDialog::ExistingFiles;
    TypeFileName(dialog, "\"a.gb\" \"b.gbc\"");
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

TEST_F(NativeDialogsTest, SaveDialogAddsTheDefaultSuffix) {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::kSave;
  request.initialDirectory = dir_.path();
  request.defaultSuffix = "sav";
  request.promptOverwrite = true;
  bool confirms = false;
  const ModalAnswerer answerer([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    TypeFileName(dialog, "game");
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
  });
  const QStringList chosen = NativeFileDialogs().Run(nullptr, request);
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_TRUE(chosen[0].endsWith("/game.sav")) << chosen[0].toStdString();
  EXPECT_TRUE(confirms);
}

TEST_F(NativeDialogsTest, SaveDialogProposesTheRequestedNameInItsFolder) {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::kSave;
  request.initialDirectory = dir_.path();
  request.fileName = "Lantern Keep.sav";
  const ModalAnswerer answerer([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    static_cast<QDialog*>(dialog)->accept();  // the user only confirms
  });
  const QStringList chosen = NativeFileDialogs().Run(nullptr, request);
  ASSERT_EQ(chosen.size(), 1);
  EXPECT_EQ(QFileInfo(chosen[0]).absoluteFilePath(),
            QFileInfo(dir_.path() + "/Lantern Keep.sav").absoluteFilePath());
}

TEST_F(NativeDialogsTest, ErrorBoxHasTheApplicationTitleTextAndOk) {
  QString title;
  QString text;
  int buttons = 0;
  const ModalAnswerer answerer([&](QWidget* modal) {
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
