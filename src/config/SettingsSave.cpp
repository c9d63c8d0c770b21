#include "config/SettingsSave.h"

#include "relay/RelayConnection.h"
#include "text/Regional.h"
#include "text/Strings.h"

namespace pelvar::config {
namespace {

// Closes the settings key on every way out, so that a failed write does not
// leave it open.
class OpenKey {
 public:
  OpenKey(SettingsStore& store, bool create) : store_(store) {
    store_.OpenSettingsKey(create, kDialogSettingsKeyPath);
  }
  ~OpenKey() { store_.CloseSettingsKey(); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

 private:
  SettingsStore& store_;
};

// The form's relay database values as the settings will hold them.
RunSettings RelaySettings(const SettingsForm& form) {
  RunSettings settings;
  settings.databaseKind = form.databaseKind;
  settings.DBHost = form.dbHost;
  settings.DBName = form.dbName;
  settings.DBUser = form.dbUser;
  settings.DBPasswd = form.dbPasswd;
  settings.DBPort = text::ParseInteger(form.dbPort);
  return settings;
}

}  // namespace

std::string DatabaseKindEntry(const std::string& databaseKind) {
  for (const char* entry : {kMySqlEntry, kSqlServerEntry}) {
    if (text::EqualsNoCase(databaseKind, entry))
      return entry;
  }
  return std::string();
}

std::string ProposedDatabasePort(const std::string& entry) {
  return entry == kMySqlEntry ? "3306" : "1433";
}

SettingsSave::SettingsSave(SettingsStore& store, relay::RelayConnection& relay,
                           platform::MessageBoxes& boxes)
    : store_(store), relay_(relay), boxes_(boxes) {}

void SettingsSave::Message(const std::string& text) {
  boxes_.Show(text, kMessageCaption, platform::MessageIcon::kNone);
}

void SettingsSave::Load(SettingsForm& form) {
  if (store_.SettingsKeyExists()) {
    OpenKey key(store_, false);
    form.agencyNumber = store_.Read(kAgencyNumber);
    form.remoteHost = store_.Read(kRemoteHost);
    form.remotePort = std::to_string(store_.Read(kRemotePort));
    form.scanTime = std::to_string(store_.Read(kScanTime));
    form.autoSend = store_.Read(kIsAutoSend);
    form.databaseKind = DatabaseKindEntry(store_.Read(kDatabaseKind));
    form.dbHost = store_.Read(kDBHost);
    form.dbName = store_.Read(kDBName);
    form.dbUser = store_.Read(kDBUser);
    form.dbPasswd = store_.Read(kDBPasswd);
    form.dbPort = std::to_string(store_.Read(kDBPort));
  }
  form.autoStart = store_.AutostartPresent();
}

SaveResult SettingsSave::Save(const SettingsForm& form, const std::string& executablePath) {
  if (text::Trim(form.agencyNumber).empty()) {
    Message("检测机构 监管编号 不能空！");
    return SaveResult::kRefused;
  }
  // The agency number travels inside protocol lines: a control character
  // (a line break above all) would break or forge them.
  for (unsigned char c : form.agencyNumber) {
    if (c < 0x20 || c == 0x7F) {
      Message("检测机构 监管编号 不能含控制字符！");
      return SaveResult::kRefused;
    }
  }
  if (text::Trim(form.scanTime).empty()) {
    Message("数据上传间隔 不能空！");
    return SaveResult::kRefused;
  }
  std::int32_t scanTime = text::ParseInteger(form.scanTime);
  if (scanTime < 60 || scanTime > 300) {
    Message("数据上传间隔 限制在60-300秒之间！");
    return SaveResult::kRefused;
  }

  {
    OpenKey key(store_, true);
    store_.Write(kAgencyNumber, form.agencyNumber);
    store_.Write(kRemoteHost, form.remoteHost);
    store_.Write(kRemotePort, text::ParseInteger(form.remotePort));
    store_.Write(kScanTime, scanTime);
    store_.Write(kIsAutoSend, form.autoSend);
    store_.Write(kDatabaseKind, form.databaseKind);
    store_.Write(kDBHost, form.dbHost);
    store_.Write(kDBName, form.dbName);
    store_.Write(kDBUser, form.dbUser);
    store_.Write(kDBPasswd, form.dbPasswd);
    store_.Write(kDBPort, text::ParseInteger(form.dbPort));
  }

  bool checked = CheckRelay(form);

  if (form.autoStart) {
    store_.SetAutostart(executablePath);
  } else {
    store_.RemoveAutostart();
  }
  return checked ? SaveResult::kSaved : SaveResult::kSavedCheckFailed;
}

bool SettingsSave::CheckRelay(const SettingsForm& form) {
  try {
    relay_.Configure(RelayParameters(RelaySettings(form)));
    relay_.Connect();

    // On SQL Server the identity table is spelt as the relay schema and the
    // upload cycle spell it, so that a case-sensitive collation finds it,
    // and the agency number is a Unicode literal.
    const bool sqlServer = db::IsSqlServer(form.databaseKind);
    const std::string table = sqlServer ? "JCJG_CUSER" : "jcjg_cuser";
    bool hasRows = relay_.CountRows("select * from " + table + " ") > 0;

    // The agency number is stored exactly as typed, but inside the statement
    // it must stay one literal whatever quotes or backslashes it holds.
    auto dialect = sqlServer ? text::SqlDialect::kSqlServer : text::SqlDialect::kMySql;
    std::string agencyLiteral =
        (sqlServer ? "N'" : "'") + text::EscapeSqlLiteral(form.agencyNumber, dialect) + "'";
    if (hasRows) {
      relay_.Execute("update " + table + " set dwbh=" + agencyLiteral);
    } else {
      relay_.Execute("insert into " + table + "(dwbh) values (" + agencyLiteral + ")");
    }
    relay_.Disconnect();
    return true;
  } catch (const std::exception&) {
    // The operator sees one message whatever went wrong; the server's text
    // is not shown.
    Message("中转数据库设置错误！");
    return false;
  }
}

}  // namespace pelvar::config
