// pelvar: the uploader's desktop front end. One hidden instance per logon
// session, living in the tray; the main window and the settings dialog are
// created hidden and the program ends when the main window's close check
// lets it close.

#include <QApplication>
#include <QCoreApplication>

#include "app/PelvarMain.h"
#include "app/QtDialogs.h"
#include "app/RunBinding.h"
#include "config/GeneralError.h"
#include "config/PelvarSet.h"
#include "config/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "upload/RunControl.h"

int main(int argc, char* argv[]) {
  using namespace pelvar;

  // A second instance ends at once and silently.
  auto instanceLock = platform::SingleInstanceLock::Acquire("VodEdav");
  if (!instanceLock)
    return 0;

  QApplication application(argc, argv);
  application.setApplicationName(QStringLiteral("pelvar"));
  application.setApplicationDisplayName(config::kApplicationTitle);
  // Closing a message box or the settings dialog while the main window is
  // hidden must not end the program: only the main window's close does.
  application.setQuitOnLastWindowClosed(false);

  app::QtMessageBoxes boxes;
  app::QtInputBoxes inputBoxes;
  app::TfrmPelvarMain window(boxes, inputBoxes);
  config::SettingsStore store;
  upload::RunControl control(
      window, boxes, window.Timer1(), [] { QCoreApplication::processEvents(); }, store);
  app::BindRunControl(window, control);
  QObject::connect(&window, &app::TfrmPelvarMain::Closed, &application, &QCoreApplication::quit);

  window.notifyEnabled = [&store] { return store.ReadNotifyFlag(); };
  window.FormCreate([&store] { return store.ReadAutoSendFlag(); });

  config::TfrmPelvarSet settings(store, control.Relay(), boxes, &window);
  window.onShowSettings = [&settings] { settings.exec(); };

  // On the way out the dialog goes first, then the run control, then the
  // window it displays on (and with the window its tray icon).
  return application.exec();
}
