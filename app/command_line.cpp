#include "app/command_line.h"

#include <QCoreApplication>
#include <QSet>
#include <cstdio>
#include <string>

#include "port/port_backend.h"
#include "xchanger/port_choice.h"

namespace velwin::app {
namespace {

// The GUI library's options that take a value in the next argument.
const QSet<QString> kGuiOptionsWithValue = {
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
    QStringLiteral("display"),         QStringLiteral("geometry"),
    QStringLiteral("style"),           QStringLiteral("stylesheet")};
const QSet<QString> kGuiFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                 QStringLiteral("nograb"), QStringLiteral("dograb"),
                                 QStringLiteral("sync")};

}  // namespace

void DefineOptions(QCommandLineParser& parser) {
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({QStringLiteral("screenshot"),
                    QStringLiteral("Save a picture of the main window."), QStringLiteral("FILE")});
  parser.addOption({QStringLiteral("sram-screenshot"),
                    QStringLiteral("Analyse the cart and save a picture of the SRAM manager."),
                    QStringLiteral("FILE")});
  parser.addOption({QStringLiteral("port"),
                    QStringLiteral("The X-Changer's port: ppdev[:DEVICE], direct, or "
                                   "sim:KEY=VALUE,... (default: $VELWIN_PORT, else ppdev "
                                   "where /dev/parport0 exists, else direct)."),
                    QStringLiteral("PORT")});
  parser.addOption(
      {QStringLiteral("demo"), QStringLiteral("Use a simulated X-Changer holding a demo card.")});
  parser.addOption({QStringLiteral("from-menu"),
                    QStringLiteral("Started from the application menu (the desktop entry says "
                                   "so): VELTRA's folder is ~/.local/share/velwin/veltra, not "
                                   "the current folder.")});
}

QStringList WithoutGuiLibraryOptions(const QStringList& arguments) {
  QStringList kept;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    if (i == 0 || !arg.startsWith(QLatin1Char('-'))) {
      kept.append(arg);
      continue;
    }
    if (arg == QLatin1String("--")) {
      kept.append(arguments.mid(i));
      break;
    }
    // Qt takes its options with one dash or two.
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    if (kGuiFlags.contains(name))
      continue;
    if (kGuiOptionsWithValue.contains(name)) {
      ++i;  // and its value
      continue;
    }
    if (const qsizetype equals = name.indexOf(QLatin1Char('=')); equals > 0) {
      if (kGuiOptionsWithValue.contains(name.left(equals)))
        continue;
    }
    kept.append(arg);
  }
  return kept;
}

int AnswerWithoutDisplay(int argc, char* argv[]) {
  // A core application decodes the arguments as the GUI one will, and
  // needs no display.
  const QCoreApplication core(argc, argv);
  QCommandLineParser parser;
  DefineOptions(parser);
  // Ends the program on --help, --help-all, --version and option errors.
  parser.process(WithoutGuiLibraryOptions(QCoreApplication::arguments()));
  // An empty port is no choice of port; the default is what no --port
  // gives.
  if (parser.isSet(QStringLiteral("port")) && parser.value(QStringLiteral("port")).isEmpty()) {
    std::string error;
    xchanger::OpenPortBackend({}, error);
    std::fprintf(stderr, "velwin: %s\n", error.c_str());
    return 1;
  }
  return -1;
}

}  // namespace velwin::app
