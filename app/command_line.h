#pragma once

#include <QCommandLineParser>
#include <QStringList>

namespace velwin::app {

// velwin's own options, as --help lists them.
void DefineOptions(QCommandLineParser& parser);

// The arguments without the options the GUI library takes for itself
// (-platform NAME, -style NAME, -reverse, ...), which QApplication removes
// but a parser run before it would take for unknown ones.
QStringList WithoutGuiLibraryOptions(const QStringList& arguments);

// Answers --help and --version, and refuses options that make no sense,
// from the arguments alone: none of this may need a display. Returns the
// exit status when the program is to end here, -1 when it goes on.
int AnswerWithoutDisplay(int argc, char* argv[]);

}  // namespace velwin::app
