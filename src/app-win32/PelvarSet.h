#pragma once

#include <windows.h>

#include <memory>

#include "config/SettingsSave.h"
#include "platform/MessageBox.h"

namespace pelvar::relay {
class RelayConnection;
}

namespace pelvar::win32 {

// The settings dialog frmPelvarSet on Windows: created once, hidden, and
// reused for every opening, as the Qt dialog on Linux. Opening fills the
// fields from the store; "设置" validates and saves through
// config::SettingsSave; "退出" and the close box save nothing. Borrows the
// store, the relay connection (for the check; safe only while uploading is
// stopped) and the boxes. Errors that escape a handler are shown in the
// general error box and the dialog stays open.
class TfrmPelvarSet {
 public:
  TfrmPelvarSet(config::SettingsStore& store, relay::RelayConnection& relay,
                platform::MessageBoxes& boxes);
  ~TfrmPelvarSet();
  TfrmPelvarSet(const TfrmPelvarSet&) = delete;
  TfrmPelvarSet& operator=(const TfrmPelvarSet&) = delete;

  // Shows the dialog modally over owner (disabled meanwhile) and returns
  // when it is closed; the outcome is not reported.
  void ShowModal(HWND owner);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelvar::win32
