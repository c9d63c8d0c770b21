#include <cstdio>
#include <optional>

#include "cli/CliDisplay.h"
#include "cli/Commands.h"
#include "cli/OperatorTools.h"
#include "config/SettingsStore.h"
#include "upload/ProfileFromSettings.h"
#include "upload/ServerLink.h"
#include "upload/StartStopNotice.h"

namespace pelvar::cli {

int NoticeCommand(const std::vector<std::string>& arguments) {
  const char* action = nullptr;
  if (arguments.size() == 1 && arguments[0] == "start")
    action = "启动上传";
  if (arguments.size() == 1 && arguments[0] == "stop")
    action = "停止上传";
  if (action == nullptr) {
    std::fputs("usage: pelvar-cli notice start|stop\n", stderr);
    return 2;
  }
  CliDisplay display;
  std::optional<config::RunSettings> loaded = LoadOperatorSettings();
  if (!loaded)
    return 1;
  const config::RunSettings& settings = *loaded;

  upload::SiteProfile profile = upload::ProfileFromSettings(settings);
  upload::ServerLink link;
  upload::SendStartStopNotice(link, display, action, profile.agencyNumber, profile.serverHost,
                              profile.serverPort);
  // The notice logs a line only when it could not be delivered.
  return display.LinesAppended() == 0 ? 0 : 1;
}

}  // namespace pelvar::cli
