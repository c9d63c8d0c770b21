#include <cstdio>
#include <memory>
#include <optional>

#include "cli/CliDisplay.h"
#include "cli/Commands.h"
#include "cli/OperatorTools.h"
#include "config/SettingsStore.h"
#include "platform/UploaderLock.h"
#include "relay/RelayConnection.h"
#include "upload/ProfileFromSettings.h"
#include "upload/RunControl.h"
#include "upload/ServerLink.h"
#include "upload/UploadCycle.h"

namespace pelvar::cli {

int CycleCommand(const std::vector<std::string>& arguments) {
  bool verbose = false;
  for (const std::string& argument : arguments) {
    if (argument == "--verbose") {
      verbose = true;
    } else {
      std::fputs("usage: pelvar-cli cycle [--verbose]\n", stderr);
      return 2;
    }
  }
  CliDisplay display(verbose);
  std::optional<config::RunSettings> loaded = LoadOperatorSettings();
  if (!loaded)
    return 1;
  const config::RunSettings& settings = *loaded;
  std::unique_ptr<platform::UploaderLock> lock = platform::UploaderLock::TryAcquire();
  if (!lock) {
    std::fprintf(stderr, "%s\n", upload::kAnotherUploaderRunning);
    return 2;
  }

  relay::RelayConnection relay;
  relay.Configure(config::RelayParameters(settings));
  upload::SiteProfile profile = upload::ProfileFromSettings(settings);
  upload::ServerLink link;
  upload::UploadCycle cycle(relay, link, display, profile, {});
  return cycle.RunUploadCycle() ? 0 : 1;
}

}  // namespace pelvar::cli
