// velwin: the main window over the ROM list, and the SRAM manager.

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "app/window_icon.h"
#include "mainwindow/file_dialog.h"
#include "mainwindow/message_boxes.h"
#include "mainwindow/qt_tool_launcher.h"
#include "mainwindow/velwinmain.h"
#include "sramman/sram_manager_startup.h"
#include "velwin_version.h"

namespace {

// --screenshot FILE: show the window, save what it draws and quit; used to
// keep the picture in the documentation in step with the window.
void ScheduleScreenshot(QWidget& window, const QString& file) {
  QTimer::singleShot(300, &window, [&window, file] {
    window.grab().save(file);
    window.close();
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("velwin"));
  QApplication::setApplicationVersion(QString::fromLatin1(velwin::kVersion));
  QApplication::setWindowIcon(velwin::app::VelwinIcon());
  // The application title "PALDUR DarURU" titles the message boxes
  // (velwin::gui::kApplicationTitle). It is not made the display name: X11
  // platforms would append that to the main window's own caption.

  // The SRAM manager reads its own options ("--port", "--demo") from the
  // arguments; they are declared here so that --help lists them.
  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                      QStringLiteral("Save a picture of the main window."),
                                      QStringLiteral("FILE"));
  parser.addOption(screenshot);
  parser.addOption({QStringLiteral("port"),
                    QStringLiteral("The X-Changer's port: ppdev[:DEVICE], direct, or "
                                   "sim:KEY=VALUE,... (default: $VELWIN_PORT, else ppdev "
                                   "where a parallel port exists, else direct)."),
                    QStringLiteral("PORT")});
  parser.addOption(
      {QStringLiteral("demo"), QStringLiteral("Use a simulated X-Changer holding a demo card.")});
  parser.parse(QApplication::arguments());
  if (parser.isSet(QStringLiteral("help")))
    parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version")))
    parser.showVersion();

  velwin::gui::NativeFileDialogs fileDialogs;
  velwin::gui::NativeMessageBoxes messageBoxes;
  velwin::mainwindow::QtToolLauncher toolLauncher;
  velwin::mainwindow::TForm1 form1({fileDialogs, messageBoxes, toolLauncher});

  // The SRAM manager is created hidden, right after the main window, and
  // loads its own settings then; the SRAM button shows it modally. It is a
  // child of form1, so it must go first: declared after it.
  QString sramError;
  const auto sramManager =
      velwin::sramman::CreateSramManager(&form1, QApplication::arguments(), sramError);
  if (!sramError.isEmpty())
    qWarning("velwin: %s", qPrintable(sramError));
  form1.SetSramManagerWindow(sramManager.get());

  form1.show();
  if (parser.isSet(screenshot)) {
    ScheduleScreenshot(form1, parser.value(screenshot));
  }
  return application.exec();
}
