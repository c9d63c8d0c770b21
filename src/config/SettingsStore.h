#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "config/SettingsSchema.h"
#include "platform/Registry.h"

namespace pelvar::config {

// The settings key and the autostart value, as the program names them.
inline constexpr const char* kSettingsKeyPath = "SOFTWARE\\ZIRODU\\DAVIV";
inline constexpr const char* kAutostartValueName = "zqjcPelvarAuto";
inline constexpr const char* kMessageCaption = "岚秋软件";
// LoadRunSettings' failure when the settings key is missing.
inline constexpr const char* kMissingSettingsText = "请设置 中转库 连接信息！";

// What LoadRunSettings found: the settings, or the failure's message, which
// the caller shows in a plain box captioned kMessageCaption.
struct RunSettingsLoad {
  std::optional<RunSettings> settings;
  std::string failure;
};

// The client's settings in the machine registry. Holds no state of its own
// beyond the key opened by OpenSettingsKey; every use opens afresh. A
// failing operation throws Error with the message the operation names.
class SettingsStore {
 public:
  explicit SettingsStore(platform::Registry& registry = platform::Registry::Machine());
  ~SettingsStore();

  // True when the settings key can be opened with read rights.
  bool SettingsKeyExists();
  // path may start with a backslash (taken from the root) or not (taken below
  // the open key, or the root when none is open); both name the same key
  // when no key is open. A failed open leaves no key open.
  bool OpenSettingsKey(bool create, const std::string& path = kSettingsKeyPath);
  void CloseSettingsKey();

  // Empty when the value is absent or no key is open; throws
  // "Invalid data type for '%s'" when the value is not text.
  std::string ReadText(const std::string& name);
  // Throws "Failed to get data for '%s'" when absent, no key open, or longer
  // than four bytes; "Invalid data type for '%s'" for another type.
  std::int32_t ReadNumber(const std::string& name);
  bool ReadFlag(const std::string& name);
  bool ValueExists(const std::string& name);
  // Throw "Failed to set data for '%s'".
  void WriteText(const std::string& name, const std::string& value);
  void WriteNumber(const std::string& name, std::int32_t value);
  void WriteFlag(const std::string& name, bool value);

  // The same for a value of the settings key, by its type in the schema.
  std::string Read(const TextSetting& setting) { return ReadText(setting.name); }
  std::int32_t Read(const NumberSetting& setting) { return ReadNumber(setting.name); }
  bool Read(const FlagSetting& setting) { return ReadFlag(setting.name); }
  bool Exists(const FlagSetting& setting) { return ValueExists(setting.name); }
  void Write(const TextSetting& setting, const std::string& value) {
    WriteText(setting.name, value);
  }
  void Write(const NumberSetting& setting, std::int32_t value) { WriteNumber(setting.name, value); }
  void Write(const FlagSetting& setting, bool value) { WriteFlag(setting.name, value); }

  // The self-contained operations below open what they need themselves and
  // leave the key opened by OpenSettingsKey as it is. The autostart entry is
  // the one of platform/Autostart.h (on Linux the XDG autostart file).
  bool AutostartPresent();
  // Throws "Failed to set data for 'zqjcPelvarAuto'".
  void SetAutostart(const std::string& executablePath);
  // An absent value or a refused deletion is ignored.
  void RemoveAutostart();

  // When the settings key is missing, returns no settings and the failure
  // "请设置 中转库 连接信息！"; shows nothing. A failing read throws its error. Reads
  // DBType, ScanTime, Dwbh, DBHost, DBName, DBUser, DBPasswd, DBPort,
  // RemoteHost, RemotePort, SiteCode, SiteName in this order with full
  // access; the key is closed on every way out.
  RunSettingsLoad LoadRunSettings();
  // False when the key or the value is missing; throws when the value is
  // present with a wrong type. Never creates the key.
  bool ReadAutoSendFlag();
  // Notify: true when the key or the value is missing, or the value is not
  // 0; a value of another type counts as missing. Never creates the key.
  bool ReadNotifyFlag();

 private:
  platform::Registry& registry_;
  std::string openPath_;
  std::unique_ptr<platform::RegistryKey> key_;
};

}  // namespace pelvar::config
