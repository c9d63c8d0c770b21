#pragma once

#include <functional>
#include <memory>

#include "platform/MessageBox.h"
#include "upload/Display.h"
#include "upload/ScanTimer.h"
#include "upload/SiteProfile.h"

namespace pelvar::relay {
class RelayConnection;
}
namespace pelvar::config {
class SettingsStore;
}

namespace pelvar::upload {

// Shown when Run (or a single cycle) finds the machine's uploader lock held
// by another uploader.
inline constexpr const char* kAnotherUploaderRunning = "另一个上传程序正在运行，不能同时上传！";

enum class RunStart {
  kStarted,
  kNotStarted,       // the settings could not be loaded (their box was shown)
  kAnotherUploader,  // another uploader holds the machine's uploader lock
};

// Run, Stop, Exit's running check and the scan countdown, shared by the GUI
// and pelvar-cli. Owns what lives for the whole run of the program: the
// relay connection, the server link and the site profile. Everything runs
// on the one user-interface thread; pump is called wherever the program
// waits (network, between frames) so that Stop can run mid-cycle.
class RunControl {
 public:
  // Run reads the settings through store, which the run control borrows.
  RunControl(Display& display, platform::MessageBoxes& boxes, ScanTimer& timer,
             std::function<void()> pump, config::SettingsStore& store);
  ~RunControl();

  // btnRunClick. Uploading runs only while this process holds the machine's
  // uploader lock: when another uploader holds it, shows
  // kAnotherUploaderRunning and nothing starts. A settings value that
  // cannot be read, or a lock that cannot be taken at all, throws its Error
  // (the front end shows the general error box); nothing has started then.
  RunStart Run();
  // btnStopClick; releases the uploader lock.
  void Stop();
  // btnExitClick's check: while running shows "正在运行状态，不能退出！" and
  // returns false; while idle returns true and the front end closes.
  bool ExitAllowed();
  // Timer1Timer; also called once directly by Run.
  void Tick();

  bool IsRunning() const;

  // Ends whatever the server link waits for (a notice's or a cycle's
  // connect, reply or send then fails with "Connection Closed Gracefully."),
  // without performing Stop. For a pump that must cut a wait short. Does
  // nothing without a session.
  void CloseServerSession();
  // Called whenever the run state changes, so the front end can enable
  // btnRun/popMenuStar and btnStop/popMenuStop.
  std::function<void(bool running)> onRunStateChanged;

  // The relay connection, borrowed by the settings dialog while idle.
  relay::RelayConnection& Relay();
  const SiteProfile& Profile() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelvar::upload
