// velwin: the main window over the ROM list, and the SRAM manager.

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "mainwindow/file_dialog.h"
#include "mainwindow/message_boxes.h"
#include "mainwindow/qt_tool_launcher.h"
#include "mainwindow/velwinmain.h"

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
  // The application title "PALDUR DarURU" titles the message boxes
  // (velwin::gui::kApplicationTitle). It is not made the display name: X11
  // platforms would append that to the main window's own caption.

  // Lenient: options meant for the SRAM manager's port ("--port", "--demo")
  // pass through untouched.
  QCommandLineParser parser;
  const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                      QStringLiteral("Save a picture of the main window."),
                                      QStringLiteral("FILE"));
  parser.addOption(screenshot);
  parser.parse(QApplication::arguments());

  velwin::gui::NativeFileDialogs fileDialogs;
  velwin::gui::NativeMessageBoxes messageBoxes;
  velwin::mainwindow::QtToolLauncher toolLauncher;
  velwin::mainwindow::TForm1 form1({fileDialogs, messageBoxes, toolLauncher});

  // ---- SRAM manager window ----------------------------------------------
  // Created here, hidden, after the main window: it loads its own settings
  // when created. Hand it to the main window with
  //   form1.SetSramManagerWindow(sramManager.get());
  // so that the SRAM button shows it modally. Its port options come from
  // QApplication::arguments().
  // -------------------------------------------------------------------------

  form1.show();
  if (parser.isSet(screenshot)) {
    ScheduleScreenshot(form1, parser.value(screenshot));
  }
  return application.exec();
}
