#include "app/unreachable_display.h"

#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace velwin::app {
namespace {

struct HeldMessage {
  QtMsgType type;
  QString text;
};

// The library's message handler is a plain function: what it needs lives
// here, for the one guard there is at a time.
struct GuardState {
  std::string line;
  QtMessageHandler previous = nullptr;
  std::vector<HeldMessage> held;
};

GuardState& State() {
  static GuardState state;
  return state;
}

void HoldOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  (void)context;
  if (type != QtFatalMsg) {
    State().held.push_back({type, text});
    return;
  }
  // The library gives up for good when no platform could start; returning
  // would abort. Nothing of the program has been built yet that needs
  // closing, so the process ends here.
  std::fputs((State().line + "\n").c_str(), stderr);
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

UnreachableDisplayGuard::UnreachableDisplayGuard(std::string line) {
  State().line = std::move(line);
  State().held.clear();
  State().previous = qInstallMessageHandler(HoldOrEnd);
}

UnreachableDisplayGuard::~UnreachableDisplayGuard() {
  qInstallMessageHandler(State().previous);
  std::vector<HeldMessage> held = std::move(State().held);
  State().held.clear();
  for (const HeldMessage& message : held) {
    if (State().previous != nullptr)
      State().previous(message.type, QMessageLogContext(), message.text);
    else
      std::fprintf(stderr, "%s\n", qUtf8Printable(message.text));
  }
}

}  // namespace velwin::app
