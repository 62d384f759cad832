#include "tests/guisupport/qt_application.h"

#include <QApplication>

namespace velwin::gui::testing {

void EnsureQtApplication() {
  if (QApplication::instance() != nullptr) {
    return;
  }
  // QApplication keeps references to argc and argv: they must outlive it.
  static int argc = 1;
  static char name[] = "velwin-tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: a QApplication torn down among the exit-time
  // destructors outlives Qt's own globals and crashes the test program.
  new QApplication(argc, argv);
}

}  // namespace velwin::gui::testing
