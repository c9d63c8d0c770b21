// pelvar.exe: the uploader's window program on Windows. One hidden instance
// per logon session, living in the tray; the main window and the settings
// dialog are created hidden and the program ends when the main window's
// close check lets it close.

#include <windows.h>

#include "app-win32/MessagePump.h"
#include "app-win32/PelvarMain.h"
#include "app-win32/PelvarSet.h"
#include "app-win32/RunBinding.h"
#include "app-win32/Win32InputBoxes.h"
#include "app-win32/Win32MessageBoxes.h"
#include "config/GeneralError.h"
#include "config/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "upload/RunControl.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace pelvar;

  // A second instance ends at once and silently.
  auto instanceLock = platform::SingleInstanceLock::Acquire("VodEdav");
  if (!instanceLock)
    return 0;

  win32::Win32MessageBoxes boxes;
  try {
    win32::Win32InputBoxes inputBoxes;
    win32::TfrmPelvarMain window(boxes, inputBoxes);
    boxes.SetOwner(window.Handle());
    config::SettingsStore store;
    // While a cycle waits, the window's messages go on; once the program is
    // told to end, the wait is cut short so the loop can end too.
    upload::RunControl* running = nullptr;
    upload::RunControl control(
        window, boxes, window.Timer1(),
        [&window, &running] {
          if (!win32::ProcessPendingMessages(window.Handle()) && running != nullptr)
            running->CloseServerSession();
        },
        store);
    running = &control;
    win32::BindRunControl(window, control);
    window.onClosed = [] { ::PostQuitMessage(0); };

    window.notifyEnabled = [&store] { return store.ReadNotifyFlag(); };
    window.FormCreate([&store] { return store.ReadAutoSendFlag(); });

    win32::TfrmPelvarSet settings(store, control.Relay(), boxes);
    window.onShowSettings = [&settings, &window] { settings.ShowModal(window.Handle()); };

    // On the way out the dialog goes first, then the run control, then the
    // window it displays on (and with the window its tray icon).
    return win32::RunMessageLoop(window.Handle());
  } catch (const std::exception& error) {
    config::ShowGeneralError(boxes, error.what());
    return 1;
  }
}
