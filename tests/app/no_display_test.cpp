#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "tests/support/temp_dir.h"

namespace {

struct VelwinRun {
  int status = -1;
  QString err;
};

// Starts velwin with the display variables taken out of the environment and
// the given ones put in, inside a folder of its own.
VelwinRun RunVelwin(const QStringList& arguments, const QStringList& variables) {
  const velwin::testing::TempDir home;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(QString::fromLatin1(name));
  environment.insert("VELWIN_CONFIG_DIR", QString::fromStdString(home.File("config")));
  for (const QString& variable : variables)
    environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(QString::fromStdString(home.Path().string()));
  process.start(QStringLiteral(VELWIN_BINARY), arguments);
  if (!process.waitForFinished(60000))
    return {};
  VelwinRun run;
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

TEST(VelwinStart, WithoutADisplayEndsWithOneLineThatSaysWhatToDo) {
  const VelwinRun bare = RunVelwin({}, {});
  EXPECT_EQ(bare.status, 1);
  EXPECT_EQ(bare.err,
            "velwin: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
            "set); run it on a desktop, or under a virtual display: xvfb-run -a velwin\n");

  // X11 asked for by name needs its own variable; a Wayland one is no help.
  const VelwinRun x11 = RunVelwin({}, {"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=wayland-0"});
  EXPECT_EQ(x11.status, 1);
  EXPECT_TRUE(x11.err.contains("(DISPLAY is not set for the xcb platform)"))
      << x11.err.toStdString();
  EXPECT_EQ(x11.err.count('\n'), 1);

  // A display that is named but where nothing answers ends the same way,
  // not with the GUI library's abort; X11's own -display option names one
  // as DISPLAY does.
  const QString nothingAt =
      "velwin: no display to open the window on (nothing answers at DISPLAY=:987); run it on a "
      "desktop, or under a virtual display: xvfb-run -a velwin\n";
  const VelwinRun set = RunVelwin({}, {"DISPLAY=:987"});
  EXPECT_EQ(set.status, 1);
  EXPECT_EQ(set.err, nothingAt);
  const VelwinRun named = RunVelwin({"-display", ":987"}, {});
  EXPECT_EQ(named.status, 1);
  EXPECT_EQ(named.err, nothingAt);

  // Help needs no display at all.
  EXPECT_EQ(RunVelwin({"--version"}, {}).status, 0);
}

TEST(VelwinStart, PlatformsThatNeedNoDisplayStillStart) {
  const velwin::testing::TempDir pictures;
  const QString byVariable = QString::fromStdString(pictures.File("variable.png"));
  const VelwinRun variable = RunVelwin({"--screenshot", byVariable}, {"QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(variable.status, 0) << variable.err.toStdString();
  EXPECT_TRUE(QFile::exists(byVariable));

  // The library's own option wins over an X11 choice in the environment.
  const QString byOption = QString::fromStdString(pictures.File("option.png"));
  const VelwinRun option =
      RunVelwin({"-platform", "offscreen", "--screenshot", byOption}, {"QT_QPA_PLATFORM=xcb"});
  EXPECT_EQ(option.status, 0) << option.err.toStdString();
  EXPECT_TRUE(QFile::exists(byOption));
}

}  // namespace
