#include "cli/Commands.h"

namespace pelvar::cli {

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands = {
      {"settings", "show", "print the settings key's values and the autostart entry",
       SettingsCommand},
      {"setup", "[--option=value...]",
       "save the settings as the settings dialog does (--help lists them)", SetupCommand},
      {"cycle", "[--verbose]", "run one upload cycle with the settings", CycleCommand},
      {"run", "[--verbose]", "start uploading until SIGINT or SIGTERM stops it", RunCommand},
      {"notice", "start|stop", "send one start or stop notice to the server", NoticeCommand},
  };
  return commands;
}

}  // namespace pelvar::cli
