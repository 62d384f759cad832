#pragma once

#include <QString>
#include <memory>
#include <string>

#include "sramman/sram_manager_form.h"

class QWidget;

namespace velwin::sramman {

// Opens a port for the window as the program entry and the Port menu do:
// held from the start, traced to VELWIN_TRACE; null when refused, with the
// reason and what to do about it in problem.
std::unique_ptr<xchanger::PortBackend> OpenWindowPort(const std::string& description,
                                                      QString& problem);

// Creates the SRAM manager window, hidden, for the program entry, on the
// port the command line chose: "demo" for the built-in demo card, a backend
// description ("ppdev", "direct:0x378", "sim:..."), or empty for
// VELWIN_PORT, else the Port menu's saved choice (the machine's default
// until one is made). Always returns a window: a port that
// cannot be opened leaves one that finds no X-Changer and says why in its
// log.
std::unique_ptr<TSRAMManForm> CreateSramManager(QWidget* mainWindow,
                                                const QString& portDescription);

}  // namespace velwin::sramman
