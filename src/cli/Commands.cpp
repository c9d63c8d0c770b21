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
      {"check", "", "check that this set-up is able to upload", CheckCommand},
      {"status", "[--json]", "rows waiting or refused, the last cycle, the uploader lock",
       StatusCommand},
      {"preview", "[--phase NAME] [--limit N]", "print what the next cycle would send",
       PreviewCommand},
      {"rejected", "[--table T] [--flag 10|100]", "list refused rows with the server's reason",
       RejectedCommand},
      {"requeue", "--table T (--key V...|--flag F|--all) [--yes]",
       "set refused rows back to pending", RequeueCommand},
      {"grant-operators", "[--clock]",
       "let standard accounts change the settings and write the journal (Windows, as "
       "administrator)",
       GrantOperatorsCommand},
  };
  return commands;
}

}  // namespace pelvar::cli
