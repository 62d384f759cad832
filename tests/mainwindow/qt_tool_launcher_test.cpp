#include "mainwindow/qt_tool_launcher.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>

#include "tests/guisupport/qt_application.h"

namespace velwin::mainwindow {
namespace {

// A stand-in for the flashing tool: records where it ran and what it got.
constexpr char kFakeTool[] =
    "#!/bin/sh\n"
    "pwd > \"$0.ran.tmp\"\n"
    "for a in \"$@\"; do echo \"[$a]\" >> \"$0.ran.tmp\"; done\n"
    "mv \"$0.ran.tmp\" \"$0.ran\"\n";

QString WaitForFile(const QString& path) {
  // The tool is detached: wait (bounded) for it to leave its record.
  QDeadlineTimer deadline(10000);
  while (!QFile::exists(path) && !deadline.hasExpired()) {
    QThread::msleep(20);
  }
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(QtToolLauncherTest, RelativeProgramIsFoundFromTheWorkingDirectory) {
  gui::testing::EnsureQtApplication();
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  ASSERT_TRUE(QDir(base.path()).mkpath("paldmi.tmp"));
  const QString tool = base.path() + "/veltra";
  QFile script(tool);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(kFakeTool);
  script.close();
  ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  // A file named *.stp: the pattern must still reach the tool unexpanded.
  QFile copy(base.path() + "/paldmi.tmp/0.stp");
  ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
  copy.close();

  const QString scratch = base.path() + "/paldmi.tmp";
  QtToolLauncher launcher;
  EXPECT_FALSE(launcher.Start("../veltra", {"*.stp"}, QFile::encodeName(scratch).toStdString()));

  const QString record = WaitForFile(tool + ".ran");
  const QStringList lines = record.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << record.toStdString();
  EXPECT_EQ(QDir(lines[0]).canonicalPath(), QDir(scratch).canonicalPath());
  EXPECT_EQ(lines[1], "[*.stp]");
}

TEST(QtToolLauncherTest, ProgramThatCannotStartIsReportedWithTheSystemError) {
  gui::testing::EnsureQtApplication();
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  ASSERT_TRUE(QDir(base.path()).mkpath("paldmi.tmp"));
  QFile plain(base.path() + "/plain");
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.write(kFakeTool);  // a script, but not allowed to run
  plain.close();
  ASSERT_TRUE(plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
  // Allowed to run, but in no format the system can execute.
  QFile noFormat(base.path() + "/noformat");
  ASSERT_TRUE(noFormat.open(QIODevice::WriteOnly));
  noFormat.write("\x01\x02not a program\n");
  noFormat.close();
  ASSERT_TRUE(noFormat.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  const std::string scratch = QFile::encodeName(base.path() + "/paldmi.tmp").toStdString();

  QtToolLauncher launcher;
  EXPECT_EQ(launcher.Start("../veltra", {"*.stp"}, scratch).value(), ENOENT);
  EXPECT_EQ(launcher.Start("../plain", {"*.stp"}, scratch).value(), EACCES);
  EXPECT_EQ(launcher.Start("../noformat", {"*.stp"}, scratch).value(), ENOEXEC);
  EXPECT_FALSE(QFile::exists(base.path() + "/plain.ran.tmp"));
}

}  // namespace
}  // namespace velwin::mainwindow
