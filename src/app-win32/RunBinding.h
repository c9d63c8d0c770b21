#pragma once

namespace pelvar::upload {
class RunControl;
}

namespace pelvar::win32 {

class TfrmPelvarMain;

// Connects the main window to the run control: btnRun/popMenuStar run,
// btnStop/popMenuStop stop, btnExit/popMenuExit ask ExitAllowed before the
// close, Timer1 ticks, and every change of the run state sets the controls'
// enabling. Requires: control was constructed with window as its display
// and window.Timer1() as its scan timer; both outlive the binding's use.
void BindRunControl(TfrmPelvarMain& window, upload::RunControl& control);

}  // namespace pelvar::win32
