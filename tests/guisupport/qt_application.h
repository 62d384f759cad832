#pragma once

namespace velwin::gui::testing {

// Makes sure one QApplication exists for the whole test program (widgets
// need it); created on first use and deliberately never destroyed.
void EnsureQtApplication();

}  // namespace velwin::gui::testing
