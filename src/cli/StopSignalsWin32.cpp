#include <windows.h>

#include "cli/StopSignals.h"
#include "platform/WindowsText.h"
#include "text/Error.h"

namespace pelvar::cli {
namespace {

// Raised by the handler (which runs on a thread of its own) for each
// request; the event wakes a Wait.
volatile LONG requests = 0;
HANDLE requested = nullptr;
// Set when the object goes: a console being closed may end the process then.
HANDLE finished = nullptr;

// Within the five seconds the system allows a handler at the close of the console.
constexpr DWORD kCloseGrace = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      ::InterlockedIncrement(&requests);
      ::SetEvent(requested);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      ::InterlockedIncrement(&requests);
      ::SetEvent(requested);
      ::WaitForSingleObject(finished, kCloseGrace);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

StopSignals::StopSignals() {
  requested = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (requested == nullptr || finished == nullptr ||
      !::SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    throw Error("SetConsoleCtrlHandler: " +
                platform::windows_text::SystemErrorText(::GetLastError()));
  }
  handle_ = reinterpret_cast<std::intptr_t>(requested);
}

StopSignals::~StopSignals() {
  ::SetEvent(finished);
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

bool StopSignals::Wait(int timeoutMs) {
  if (requests == 0)
    ::WaitForSingleObject(requested, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  return requests != 0;
}

bool StopSignals::Take() {
  return ::InterlockedExchange(&requests, 0) != 0;
}

}  // namespace pelvar::cli
