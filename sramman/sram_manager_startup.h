#pragma once

#include <QString>
#include <memory>

#include "sramman/sram_manager_form.h"

class QWidget;

namespace velwin::sramman {

// Creates the SRAM manager window, hidden, for the program entry, on the
// port the command line chose: "demo" for the built-in demo card, a backend
// description ("ppdev", "direct:0x378", "sim:..."), or empty for
// VELWIN_PORT or the machine's default. Always returns a window: a port that
// cannot be opened leaves one that finds no X-Changer and says why in its
// log.
std::unique_ptr<TSRAMManForm> CreateSramManager(QWidget* mainWindow,
                                                const QString& portDescription);

}  // namespace velwin::sramman
