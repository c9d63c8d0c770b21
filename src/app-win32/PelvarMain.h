#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "app-win32/Win32ScanTimer.h"
#include "console/InputBox.h"
#include "platform/MessageBox.h"
#include "upload/CycleAlerts.h"
#include "upload/Display.h"

namespace pelvar::win32 {

// The tray icon's callback message.
inline constexpr UINT kTrayMessage = WM_USER + 100;

// The main window frmPelvarMain on Windows: the operator's view
// (upload::Display over its controls), the tray icon with its menu
// PopupMenu, the scan timer Timer1, the settings guard and the close check.
// What Run, Stop and Exit do lives in upload::RunControl; BindRunControl
// connects the two. Every handler catches what escapes it and shows it in
// the general error box. Lives on the thread that made it, which must
// dispatch its messages.
class TfrmPelvarMain : public upload::Display {
 public:
  // Creates the window hidden, with empty log, gray lights, counter "0",
  // remaining time hidden and Stop disabled. Borrows boxes and inputBoxes.
  // Throws Error when the window cannot be created.
  TfrmPelvarMain(platform::MessageBoxes& boxes, console::InputBoxes& inputBoxes);
  // FormDestroy: the tray icon goes with the window.
  ~TfrmPelvarMain() override;
  TfrmPelvarMain(const TfrmPelvarMain&) = delete;
  TfrmPelvarMain& operator=(const TfrmPelvarMain&) = delete;

  HWND Handle() const { return window_; }

  // FormCreate: caption, tray icon, idle controls; then Run when
  // readAutoSendFlag answers true. An error on the way is shown in the
  // general error box and creation goes on.
  void FormCreate(const std::function<bool()>& readAutoSendFlag);

  // upload::Display.
  void AppendLogLine(const std::string& text) override;
  void ClearLog() override;
  int LogLineCount() override;
  void SetLight(upload::Light light, upload::LightColour colour) override;
  void RaiseSentCounter() override;
  void ShowRemainingTime(int seconds) override;
  void SetRemainingTimeVisible(bool visible) override;
  void SetHeaderLabel(const std::string& text) override;
  // Updates the tray icon's tip and raises the tray balloon when the cycles
  // call for it (see upload::CycleAlerts) and notifyEnabled allows.
  void CycleFinished(const upload::CycleOutcome& outcome) override;
  bool ShowsPendingRows() const override { return true; }

  // What the buttons and the tray menu do. Unset hooks do nothing (Exit then
  // asks for the close at once).
  std::function<void()> onRun;
  std::function<void()> onStop;
  std::function<bool()> onExitAllowed;
  // Shows the settings dialog modally; called after the password matched.
  std::function<void()> onShowSettings;
  // Whether tray balloons are wanted (the Notify setting); unset: wanted.
  std::function<bool()> notifyEnabled;
  // The close check allowed the window to close: the program ends.
  std::function<void()> onClosed;

  // The run state as the controls record it: btnStop enabled.
  bool IsRunning() const;
  // Enables btnStop/popMenuStop and disables btnRun/popMenuStar while
  // running; the reverse while idle.
  void SetRunning(bool running);

  Win32ScanTimer& Timer1() { return timer1_; }
  HMENU PopupMenu() const { return popupMenu_; }
  // A control by its name ("btnRun", "memoLog", "igGray", ...); nullptr for
  // a name the window does not have.
  HWND Control(const std::string& name) const;
  // The tray icon's tip as last given to the shell.
  const std::string& TrayTip() const { return trayTip_; }

  // Handlers, public so that the front end and tests can drive them.
  void btnSetClick();
  void btnRunClick();
  void btnStopClick();
  void btnExitClick();
  void popMenuShowClick();
  // The close check: true when the operator gave today's password.
  bool FormCloseQuery();
  // A close request (close box, Alt+F4, Exit): the close check, then the
  // window hides and onClosed runs. True when it closed.
  bool Close();
  // Adds or deletes the tray icon; the shell's answer is ignored.
  void ManageTrayIcon(bool add);
  // Shows the general error box for error.
  void ShowError(const std::exception& error);

 private:
  struct Controls;
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  template <typename Handler>
  void Guarded(Handler&& handler);
  void CreateControls();
  void MakeLook();
  void Layout();
  void OnCommand(int id);
  void OnTrayMessage(LPARAM lParam);
  void HideToTray();
  void UpdateTrayTip();
  int Scale(int pixels) const;
  std::wstring TextOf(HWND control) const;

  platform::MessageBoxes& boxes_;
  console::InputBoxes& inputBoxes_;
  HWND window_ = nullptr;
  std::unique_ptr<Controls> controls_;
  std::map<std::string, HWND> byName_;
  HMENU popupMenu_ = nullptr;
  Win32ScanTimer timer1_;
  upload::CycleAlerts alerts_;
  std::string trayTip_;
  bool trayAdded_ = false;
  UINT taskbarCreated_ = 0;
  int dpi_ = 96;
  upload::LightColour lights_[2] = {upload::LightColour::kGray, upload::LightColour::kGray};
};

}  // namespace pelvar::win32
