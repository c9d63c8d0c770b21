#include "cli/Commands.h"

namespace pelvar::cli {

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands = {
      {"settings", "show", "print the settings key's values and the autostart entry",
       SettingsCommand},
  };
  return commands;
}

}  // namespace pelvar::cli
