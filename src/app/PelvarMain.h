#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/QtScanTimer.h"
#include "console/InputBox.h"
#include "platform/MessageBox.h"
#include "upload/CycleAlerts.h"
#include "upload/Display.h"

class QAction;
class QMenu;
class QSessionManager;
class QSystemTrayIcon;

namespace Ui {
class TfrmPelvarMain;
}

namespace pelvar::app {

// The main window frmPelvarMain: the operator's view (upload::Display over
// its widgets), the tray icon with its menu PopupMenu, the scan timer Timer1,
// the settings guard and the close check. What Run, Stop and Exit do lives
// in upload::RunControl; BindRunControl connects the two. Every handler
// catches what escapes it and shows it in the general error box.
class TfrmPelvarMain : public QWidget, public upload::Display {
  Q_OBJECT

 public:
  // Builds the window hidden, with empty log, gray lights, counter "0",
  // remaining time hidden and Stop disabled. Borrows boxes and inputBoxes.
  TfrmPelvarMain(platform::MessageBoxes& boxes, console::InputBoxes& inputBoxes,
                 QWidget* parent = nullptr);
  // FormDestroy: the tray icon goes with the window.
  ~TfrmPelvarMain() override;

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
  // Updates the tray icon's tooltip and raises the tray balloon when the
  // cycles call for it (see upload::CycleAlerts) and notifyEnabled allows.
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

  // The run state as the controls record it: btnStop enabled.
  bool IsRunning() const;
  // Enables btnStop/popMenuStop and disables btnRun/popMenuStar while
  // running; the reverse while idle.
  void SetRunning(bool running);

  QtScanTimer& Timer1() { return *timer1_; }
  QSystemTrayIcon& TrayIcon() { return *trayIcon_; }
  QMenu& PopupMenu() { return *popupMenu_; }

  // Handlers, public so that the front end and tests can drive them.
  void btnSetClick();
  void btnRunClick();
  void btnStopClick();
  void btnExitClick();
  void popMenuShowClick();
  // The close check: true when the operator gave today's password.
  bool FormCloseQuery();
  // Adds (shows) or deletes (hides) the tray icon.
  void ManageTrayIcon(bool add);
  // Shows the general error box for error.
  void ShowError(const std::exception& error);

 signals:
  // The close check allowed the window to close: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  template <typename Handler>
  void Guarded(Handler&& handler);
  void ApplyLook();
  void PlaceCaptionLabels();
  void BuildTray();
  void HideToTray();
  void CommitDataRequest(QSessionManager& manager);
  qreal LogTextWidth() const;
  void UpdateTrayToolTip();

  std::unique_ptr<Ui::TfrmPelvarMain> ui_;
  platform::MessageBoxes& boxes_;
  console::InputBoxes& inputBoxes_;
  QtScanTimer* timer1_;
  QSystemTrayIcon* trayIcon_;
  QMenu* popupMenu_;
  QAction* popMenuStar_;
  QAction* popMenuStop_;
  bool logHasLines_ = false;
  upload::CycleAlerts alerts_;
};

}  // namespace pelvar::app
