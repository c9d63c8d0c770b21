#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "cli/CliMessageBoxes.h"
#include "cli/Commands.h"
#include "config/GeneralError.h"
#include "config/SettingsSave.h"
#include "config/SettingsStore.h"
#include "platform/Paths.h"
#include "relay/RelayConnection.h"

namespace pelvar::cli {
namespace {

constexpr const char* kUsage =
    "usage: pelvar-cli setup [--dwbh=TEXT] [--remote-host=HOST] [--remote-port=N]\n"
    "                        [--scan-time=SECONDS] [--auto-start|--no-auto-start]\n"
    "                        [--auto-send|--no-auto-send] [--db-type=MySQL|'SQL Server']\n"
    "                        [--db-host=HOST] [--db-name=NAME] [--db-user=USER]\n"
    "                        [--db-password=TEXT] [--db-port=N]\n"
    "Saves the settings as the settings dialog does. Fields not given keep what the\n"
    "dialog would show: the stored values when the settings exist, else its initial\n"
    "contents. Giving --db-type without --db-port proposes the type's port.\n";

int Usage(const std::string& problem) {
  if (!problem.empty())
    std::fprintf(stderr, "pelvar-cli setup: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

// The program the autostart entry starts: the GUI beside this executable.
std::string GuiExecutablePath() {
  std::filesystem::path self = platform::ExecutablePath();
  // pelvar.exe beside pelvar-cli.exe on Windows.
  return (self.parent_path() / ("pelvar" + self.extension().string())).string();
}

}  // namespace

int SetupCommand(const std::vector<std::string>& arguments) {
  config::SettingsForm form;
  std::map<std::string, std::string> texts;
  std::map<std::string, bool> ticks;
  static const std::map<std::string, std::string config::SettingsForm::*> kTextOptions = {
      {"--dwbh", &config::SettingsForm::agencyNumber},
      {"--remote-host", &config::SettingsForm::remoteHost},
      {"--remote-port", &config::SettingsForm::remotePort},
      {"--scan-time", &config::SettingsForm::scanTime},
      {"--db-type", &config::SettingsForm::databaseKind},
      {"--db-host", &config::SettingsForm::dbHost},
      {"--db-name", &config::SettingsForm::dbName},
      {"--db-user", &config::SettingsForm::dbUser},
      {"--db-password", &config::SettingsForm::dbPasswd},
      {"--db-port", &config::SettingsForm::dbPort},
  };
  static const std::map<std::string, std::pair<bool config::SettingsForm::*, bool>> kTickOptions = {
      {"--auto-start", {&config::SettingsForm::autoStart, true}},
      {"--no-auto-start", {&config::SettingsForm::autoStart, false}},
      {"--auto-send", {&config::SettingsForm::autoSend, true}},
      {"--no-auto-send", {&config::SettingsForm::autoSend, false}},
  };

  // Options as "--name=value" or "--name value"; a value may be empty.
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    std::string name = argument;
    std::string value;
    bool hasValue = false;
    if (auto equals = argument.find('='); equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
      hasValue = true;
    }
    if (kTickOptions.count(name) != 0) {
      if (hasValue)
        return Usage(name + " takes no value");
      ticks[name] = true;
      continue;
    }
    if (kTextOptions.count(name) == 0)
      return Usage("unknown option '" + argument + "'");
    if (!hasValue) {
      if (i + 1 >= arguments.size())
        return Usage(name + " needs a value");
      value = arguments[++i];
    }
    texts[name] = value;
  }
  if (ticks.count("--auto-start") && ticks.count("--no-auto-start")) {
    return Usage("--auto-start and --no-auto-start exclude each other");
  }
  if (ticks.count("--auto-send") && ticks.count("--no-auto-send")) {
    return Usage("--auto-send and --no-auto-send exclude each other");
  }
  if (auto type = texts.find("--db-type"); type != texts.end()) {
    std::string entry = config::DatabaseKindEntry(type->second);
    if (entry.empty() && !type->second.empty()) {
      return Usage("--db-type must be MySQL or 'SQL Server'");
    }
    type->second = entry;
  }

  CliMessageBoxes boxes;
  config::SettingsStore store;
  relay::RelayConnection relay;
  config::SettingsSave save(store, relay, boxes);

  // What the dialog shows when it opens. A value that cannot be read is
  // reported, and the fields after it keep the dialog's initial contents,
  // as in the dialog.
  try {
    save.Load(form);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", config::GeneralErrorText(error.what()).c_str());
  }

  for (const auto& [name, value] : texts)
    form.*kTextOptions.at(name) = value;
  for (const auto& [name, given] : ticks) {
    const auto& [member, tick] = kTickOptions.at(name);
    form.*member = tick;
  }
  if (texts.count("--db-type") && !texts.count("--db-port") && !form.databaseKind.empty()) {
    form.dbPort = config::ProposedDatabasePort(form.databaseKind);
  }

  try {
    config::SaveResult result = save.Save(form, GuiExecutablePath());
    return result == config::SaveResult::kRefused ? 1 : 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", config::GeneralErrorText(error.what()).c_str());
    return 1;
  }
}

}  // namespace pelvar::cli
