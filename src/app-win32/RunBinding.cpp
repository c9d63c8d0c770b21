#include "app-win32/RunBinding.h"

#include "app-win32/PelvarMain.h"
#include "upload/RunControl.h"

namespace pelvar::win32 {

void BindRunControl(TfrmPelvarMain& window, upload::RunControl& control) {
  window.onRun = [&control] { control.Run(); };
  window.onStop = [&control] { control.Stop(); };
  window.onExitAllowed = [&control] { return control.ExitAllowed(); };
  control.onRunStateChanged = [&window](bool running) { window.SetRunning(running); };
  window.SetRunning(control.IsRunning());
}

}  // namespace pelvar::win32
