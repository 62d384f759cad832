#include "rom/filler_block.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

#include "rom/equal_bytes.h"

namespace velwin::rom {
namespace {

// The block being compared on this thread, and where to go back to when a
// touch of it faults. Only plain pointers: the handler reads them.
thread_local sigjmp_buf* tGuardJump = nullptr;
thread_local const std::uint8_t* tGuardBegin = nullptr;
thread_local const std::uint8_t* tGuardEnd = nullptr;

struct sigaction gPreviousBusAction {};

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto* address = static_cast<const std::uint8_t*>(info->si_addr);
  if (tGuardJump != nullptr && address >= tGuardBegin && address < tGuardEnd)
    siglongjmp(*tGuardJump, 1);
  // Not a block of ours: whoever handled SIGBUS before handles it.
  if ((gPreviousBusAction.sa_flags & SA_SIGINFO) != 0 &&
      gPreviousBusAction.sa_sigaction != nullptr) {
    gPreviousBusAction.sa_sigaction(signal, info, context);
    return;
  }
  if (gPreviousBusAction.sa_handler != SIG_DFL && gPreviousBusAction.sa_handler != SIG_IGN) {
    gPreviousBusAction.sa_handler(signal);
    return;
  }
  // The default: the faulting access runs again and ends the program.
  std::signal(SIGBUS, SIG_DFL);
}

void InstallBusHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    // Not blocked while handled: the jump back out of the handler then
    // needs no signal mask restored, so the compare costs no system call.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &gPreviousBusAction);
  });
}

}  // namespace

bool IsFillerBlock(const std::uint8_t* bytes, std::size_t count,
                   std::optional<std::uint8_t>& filler) {
  if (!filler)
    filler = bytes[count - 1];
  return AllBytesEqual(bytes, count, *filler);
}

FillerBlock CheckFillerBlock(const std::uint8_t* bytes, std::size_t count,
                             std::optional<std::uint8_t>& filler) {
  InstallBusHandler();
  sigjmp_buf jump;
  // Nothing between here and the jump back owns anything: leaving the
  // compare half-way frees nothing and skips no destructor.
  if (sigsetjmp(jump, 0) != 0) {
    tGuardJump = nullptr;
    return FillerBlock::kFileShrank;
  }
  tGuardBegin = bytes;
  tGuardEnd = bytes + count;
  tGuardJump = &jump;
  const bool allFiller = IsFillerBlock(bytes, count, filler);
  tGuardJump = nullptr;
  return allFiller ? FillerBlock::kFiller : FillerBlock::kNotFiller;
}

}  // namespace velwin::rom
