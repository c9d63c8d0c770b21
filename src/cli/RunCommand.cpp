#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/CliDisplay.h"
#include "cli/CliMessageBoxes.h"
#include "cli/CliScanTimer.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "config/SettingsStore.h"
#include "upload/RunControl.h"

namespace pelvar::cli {
namespace {

// The longest Stop waits for its stop notice; the service unit's stop
// timeout allows for it.
constexpr std::chrono::seconds kStopNoticeLimit{120};

}  // namespace

int RunCommand(const std::vector<std::string>& arguments) {
  bool verbose = false;
  for (const std::string& argument : arguments) {
    if (argument == "--verbose") {
      verbose = true;
    } else {
      std::fputs("usage: pelvar-cli run [--verbose]\n", stderr);
      return 2;
    }
  }
  // First, before the network code starts a thread.
  StopSignals signals;
  CliDisplay display(verbose);
  CliMessageBoxes boxes;
  CliScanTimer timer;
  config::SettingsStore store;
  std::unique_ptr<upload::RunControl> control;
  bool stopWanted = false;
  bool stopped = false;
  std::chrono::steady_clock::time_point stopStarted;

  // A stop signal performs Stop as the operator's Stop button would: also
  // from a pump inside a cycle, which then unwinds with its connections
  // closed under it. Inside Run, where there is no Stop button yet, it ends
  // the start notice's wait at once and Stop follows as soon as Run is done.
  // The stop notice gets kStopNoticeLimit; a second signal ends the program
  // at once.
  auto stopIfWanted = [&] {
    if (signals.Take()) {
      if (stopWanted) {
        std::fputs("pelvar-cli: ended without waiting\n", stderr);
        std::fflush(nullptr);
        std::_Exit(1);
      }
      stopWanted = true;
    }
    if (!stopWanted)
      return;
    if (stopped) {
      if (std::chrono::steady_clock::now() - stopStarted >= kStopNoticeLimit)
        control->CloseServerSession();
      return;
    }
    if (!control->IsRunning()) {
      control->CloseServerSession();
      return;
    }
    stopped = true;
    stopStarted = std::chrono::steady_clock::now();
    control->Stop();
  };
  control = std::make_unique<upload::RunControl>(display, boxes, timer, stopIfWanted, store);

  switch (control->Run()) {
    case upload::RunStart::kStarted:
      break;
    case upload::RunStart::kAnotherUploader:
      return 2;
    case upload::RunStart::kNotStarted:
      return 1;
  }
  for (;;) {
    stopIfWanted();
    if (stopped)
      break;
    int timeout = -1;
    if (auto next = timer.NextFiring()) {
      auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - CliScanTimer::Clock::now());
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
    }
    signals.Wait(timeout);
    stopIfWanted();
    if (stopped)
      break;
    timer.FireIfDue();
  }
  return 0;
}

}  // namespace pelvar::cli
