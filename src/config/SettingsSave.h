#pragma once

#include <string>

#include "config/SettingsStore.h"
#include "db/DatabaseKind.h"
#include "platform/MessageBox.h"

namespace pelvar::relay {
class RelayConnection;
}

namespace pelvar::config {

// The server host the settings show before the first save: a placeholder
// that the operator replaces with the supervision server's real name.
inline constexpr const char* kDefaultRemoteHost = kRemoteHost.initial;

// The settings key as the settings dialog names it (from the root).
inline constexpr const char* kDialogSettingsKeyPath = "\\SOFTWARE\\ZIRODU\\DAVIV";

// The entries of the database type list, in their order.
inline constexpr const char* kMySqlEntry = db::kMySqlName;
inline constexpr const char* kSqlServerEntry = db::kSqlServerName;

// What the settings dialog's fields hold: texts exactly as typed, the two
// ticks, and the chosen database type entry (empty when none is chosen). The
// member initialisers are the fields' contents at the first opening.
struct SettingsForm {
  std::string agencyNumber = kAgencyNumber.initial;
  std::string remoteHost = kRemoteHost.initial;
  std::string remotePort = kRemotePort.initial;
  std::string scanTime = kScanTime.initial;
  bool autoStart = false;
  bool autoSend = false;
  std::string databaseKind = kDatabaseKind.initial;
  std::string dbHost = kDBHost.initial;
  std::string dbName = kDBName.initial;
  std::string dbUser = kDBUser.initial;
  std::string dbPasswd = kDBPasswd.initial;
  std::string dbPort = kDBPort.initial;
};

// The list entry whose text equals databaseKind without regard to letter case;
// empty when none does.
std::string DatabaseKindEntry(const std::string& databaseKind);

// The port proposed when the operator picks a database type entry: "3306"
// for "MySQL", "1433" for any other entry.
std::string ProposedDatabasePort(const std::string& entry);

enum class SaveResult {
  kRefused,          // a validation message was shown; nothing was written
  kSaved,            // written, checked and the autostart entry handled
  kSavedCheckFailed  // as kSaved, but the relay database check failed
};

// Opening and saving of the settings without any widget: the settings dialog
// and `pelvar-cli setup` both run this one implementation. Messages go
// through boxes, captioned "岚秋软件", without an icon. Borrows the store,
// the relay connection and the boxes. Requires: uploading is stopped (the
// relay connection is reconfigured).
class SettingsSave {
 public:
  SettingsSave(SettingsStore& store, relay::RelayConnection& relay, platform::MessageBoxes& boxes);

  // When the settings key exists, reads every value in the dialog's order
  // and puts each into form right after its read; then sets autoStart from
  // the autostart entry. A failing read throws its error: the members read
  // before it hold the stored values, the later ones and autoStart keep
  // their contents. Without a settings key only autoStart changes.
  void Load(SettingsForm& form);

  // Validates (agency number: not empty, no control characters; then
  // interval), writes every setting in order, checks the relay database with
  // the entered values (recording the agency number in jcjg_cuser) and creates or removes the
  // autostart entry with executablePath. Throws Error, and the save ends there, when the interval
  // is not a whole number (nothing written), when a port is not a whole
  // number or a write is refused (the values before it stay written, no
  // check, autostart untouched), or when the autostart entry cannot be
  // written (settings saved and checked). The stored texts are exactly as
  // typed; inside the jcjg_cuser statements the agency number is escaped.
  SaveResult Save(const SettingsForm& form, const std::string& executablePath);

  // The relay database check alone: connect with the form's values, set
  // dwbh of every jcjg_cuser row (or insert one row when there is none),
  // disconnect. Any failure shows "中转数据库设置错误！" and gives false.
  bool CheckRelay(const SettingsForm& form);

 private:
  void Message(const std::string& text);

  SettingsStore& store_;
  relay::RelayConnection& relay_;
  platform::MessageBoxes& boxes_;
};

}  // namespace pelvar::config
