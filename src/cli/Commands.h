#pragma once

#include <string>
#include <vector>

namespace pelvar::cli {

// A command of pelvar-cli: "pelvar-cli <name> <arguments...>". run gets the
// arguments after the name and returns the exit code: 0 success, 1 the
// operation failed (its message on standard error), 2 wrong usage. An Error
// that escapes run is printed to standard error and ends with exit code 1.
struct Command {
  const char* name;
  const char* usage;    // the arguments, e.g. "show"
  const char* summary;  // one line for --help
  int (*run)(const std::vector<std::string>& arguments);
};

// Every command, in the order --help lists them; kept in Commands.cpp. A new
// command is a function declared here, defined in <Name>Command.cpp and
// given one row in that table.
const std::vector<Command>& AllCommands();

// settings show: the settings key's values and the autostart entry.
int SettingsCommand(const std::vector<std::string>& arguments);

// setup [--option=value...]: saves the settings as the settings dialog does
// (same validation, writes, relay database check and autostart entry).
int SetupCommand(const std::vector<std::string>& arguments);

// cycle [--verbose]: one upload cycle with the run settings; log lines on
// standard output, light changes on standard error. 0 when the cycle got
// through, 1 when it ended through a failure (relay database, server,
// greeting, journal: its log line tells which) or the settings could not be
// loaded, 2 when another uploader is running (the cycle does not run).
int CycleCommand(const std::vector<std::string>& arguments);

// run [--verbose]: Run, then the scan countdown until SIGINT or SIGTERM,
// which performs Stop (also in the middle of a cycle). 0 after Stop, 1 when
// the settings could not be loaded, 2 when another uploader is running.
int RunCommand(const std::vector<std::string>& arguments);

// notice start|stop: one start or stop notice to the server of the run
// settings; the journal line tells whether the server confirmed it. 1 when
// it could not be exchanged (its log line on standard output) or the
// settings could not be loaded, else 0.
int NoticeCommand(const std::vector<std::string>& arguments);

// check: whether this set-up is able to upload; one line per check, "ok" or
// "FAIL" with the reason and the remedy. 0 when all pass, 1 otherwise.
// Changes nothing; the server sees a connect and a close only.
int CheckCommand(const std::vector<std::string>& arguments);

// status [--json]: rows per relay table, agency and send state, the last
// cycle the journal saw, the uploader lock. 1 when the relay is unreachable.
int StatusCommand(const std::vector<std::string>& arguments);

// preview [--phase NAME] [--limit N]: the announcement and statements the
// next cycle would send, from read-only selections.
int PreviewCommand(const std::vector<std::string>& arguments);

// rejected [--table T] [--flag 10|100]: refused rows with their journal line.
int RejectedCommand(const std::vector<std::string>& arguments);

// requeue --table T (--key VALUE... | --flag 10|100 | --all) [--yes]: sets
// refused rows back to pending, asking first unless --yes; 1 when declined.
int RequeueCommand(const std::vector<std::string>& arguments);

// grant-operators [--clock]: the administrator's step at installation on
// Windows: the local Users group may change the settings and write the
// journal (with --clock also set the clock). 0 when every right was given.
int GrantOperatorsCommand(const std::vector<std::string>& arguments);

}  // namespace pelvar::cli
