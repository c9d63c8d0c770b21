#pragma once

#include <windows.h>

#include <memory>

#include "config/SettingsSave.h"
#include "platform/MessageBox.h"

namespace pelvar::relay {
class RelayConnection;
}

namespace pelvar::win32 {

// The dialog's controls, found with GetDlgItem. "设置" is IDOK, so Enter
// presses it, and "退出" IDCANCEL, so Esc and the close box do what it does.
enum PelvarSetControl : int {
  btnSet = IDOK,
  btnExit = IDCANCEL,
  GroupBox1 = 100,
  GroupBox2,
  GroupBox1Caption,  // the blue captions, over the group boxes' frames
  GroupBox2Caption,
  edtDwbh,
  edtRemortIP,
  edtRemortPort,
  edtTime,
  chkAutoStar,
  chkAutoSend,
  cmbDBType,
  edtDBPort,
  edtDBHost,
  edtDBName,
  edtDBUser,
  edtDBPasswd,
  Label1 = 200,  // the captions beside the fields, Label1 to Label11
};

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

  // The dialog window, made by the constructor; hidden while not shown.
  HWND Handle() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelvar::win32
