#pragma once

#include "port/port_io.h"

namespace velwin::sramman {

// Lets the window repaint and react while a long cart operation waits.
class QtEventPump : public xchanger::EventPump {
 public:
  void ProcessEvents() override;
};

}  // namespace velwin::sramman
