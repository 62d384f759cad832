#pragma once

namespace velwin::gui::testing {

// Makes sure one QApplication exists for the whole test program (widgets
// need it); created on first use and kept until the program ends.
void EnsureQtApplication();

}  // namespace velwin::gui::testing
