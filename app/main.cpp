// velwin: the main window over the ROM list, and the SRAM manager.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/command_line.h"
#include "app/designed_fonts.h"
#include "app/display_check.h"
#include "app/unreachable_display.h"
#include "app/window_icon.h"
#include "flashjob/job_folder.h"
#include "gui/file_dialog.h"
#include "gui/message_boxes.h"
#include "mainwindow/qt_tool_launcher.h"
#include "mainwindow/velwinmain.h"
#include "sram/sram_port.h"
#include "sramman/sram_manager_startup.h"
#include "velwin_version.h"

namespace {

// --screenshot and --sram-screenshot FILE: save what the shown window draws
// and quit; used to keep the pictures in the documentation in step with the
// windows.
void ScheduleScreenshot(QWidget& window, const QString& file) {
  QTimer::singleShot(300, &window, [&window, file] {
    window.grab().save(file);
    window.close();
    QApplication::quit();
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setApplicationName(QStringLiteral("velwin"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(velwin::kVersion));
  // Help, version and option errors come before the GUI, which aborts
  // where no display can be reached.
  if (const int status = velwin::app::AnswerWithoutDisplay(argc, argv); status >= 0)
    return status;
  // X11's own -display option names the display as DISPLAY would.
  const std::string display = velwin::app::GuiOptionValue(argc, argv, "display");
  const auto environment = [&display](const char* name) -> const char* {
    if (std::string_view(name) == "DISPLAY" && !display.empty())
      return display.c_str();
    return std::getenv(name);
  };
  if (const auto missing =
          velwin::app::MissingDisplayText(environment, velwin::app::PlatformOption(argc, argv))) {
    std::fprintf(stderr, "%s\n", missing->c_str());
    return 1;
  }

  // A display that is named but does not answer ends the same way.
  std::optional<velwin::app::UnreachableDisplayGuard> unreachable(
      std::in_place, velwin::app::UnreachableDisplayText(environment));
  QApplication application(argc, argv);
  unreachable.reset();
  QApplication::setWindowIcon(velwin::app::VelwinIcon());
  // The application title "PALDUR DarURU" titles the message boxes
  // (velwin::gui::kApplicationTitle). It is not made the display name: X11
  // platforms would append that to the main window's own caption.
  velwin::app::SubstituteDesignedFonts();

  QCommandLineParser parser;
  velwin::app::DefineOptions(parser);
  parser.process(application);  // already checked
  const QString screenshot = QStringLiteral("screenshot");
  const QString sramScreenshot = QStringLiteral("sram-screenshot");
  const QString port = QStringLiteral("port");
  const QString demo = QStringLiteral("demo");
  // Not given: VELWIN_PORT or the machine's default.
  const QString portDescription = parser.isSet(demo)
                                      ? QString::fromLatin1(velwin::sramman::kDemoPortDescription)
                                      : parser.value(port);

  velwin::gui::NativeFileDialogs fileDialogs;
  velwin::gui::NativeMessageBoxes messageBoxes;
  velwin::mainwindow::QtToolLauncher toolLauncher;
  // The flash job works in the folder velwin was started in, unless that is
  // only where the desktop started it.
  std::error_code noFolder;
  const std::string jobFolder =
      velwin::flash::FlashJobFolder(parser.isSet(QStringLiteral("from-menu")),
                                    std::filesystem::current_path(noFolder).string(), std::getenv);
  velwin::mainwindow::TForm1Dependencies mainParts{fileDialogs, messageBoxes, toolLauncher};
  mainParts.baseDirectory = jobFolder;
  mainParts.ownJobFolder = jobFolder != ".";
  velwin::mainwindow::TForm1 form1(std::move(mainParts));

  // The SRAM manager is created hidden, right after the main window, and
  // loads its own settings then; the SRAM button shows it modally. It is a
  // child of form1, so it must go first: declared after it.
  // A port that cannot be opened is explained in the SRAM manager's log.
  const auto sramManager = velwin::sramman::CreateSramManager(&form1, portDescription);
  form1.SetSramManagerWindow(sramManager.get());
  // "Write to Card…" runs the SRAM manager's card write on the ROM.
  form1.SetCardWriter(
      [manager = sramManager.get()](const QString& romPath) { manager->WriteRomToCard(romPath); });

  form1.show();
  if (parser.isSet(screenshot)) {
    ScheduleScreenshot(form1, parser.value(screenshot));
  } else if (parser.isSet(sramScreenshot)) {
    sramManager->show();
    sramManager->Button3Click();
    ScheduleScreenshot(*sramManager, parser.value(sramScreenshot));
  }
  return application.exec();
}
