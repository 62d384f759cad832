#include "sramman/qt_event_pump.h"

#include <QCoreApplication>

namespace velwin::sramman {

void QtEventPump::ProcessEvents() {
  QCoreApplication::processEvents();
}

}  // namespace velwin::sramman
