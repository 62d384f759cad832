#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "sramman/sram_manager_form.h"

class QWidget;

namespace velwin::sramman {

// Creates the SRAM manager window, hidden, for the program entry. The
// arguments choose its port: "--port PORT" (or "--port=PORT"), "--demo" for
// the built-in demo card, otherwise VELWIN_PORT or the machine's default.
// Always returns a window; error tells what went wrong with the arguments
// or the port (a port that cannot be opened leaves a window that finds no
// X-Changer and says why in its log). Other arguments are left alone.
std::unique_ptr<TSRAMManForm> CreateSramManager(QWidget* mainWindow, const QStringList& args,
                                                QString& error);

}  // namespace velwin::sramman
