#include "config/SettingsStore.h"

#include "platform/Autostart.h"
#include "text/Error.h"

namespace pelvar::config {
namespace {

constexpr const char* kInvalidType = "Invalid data type for '%s'";
constexpr const char* kFailedGet = "Failed to get data for '%s'";
constexpr const char* kFailedSet = "Failed to set data for '%s'";

[[noreturn]] void Fail(const char* pattern, const std::string& name) {
  throw Error(FormatMessage(pattern, name));
}

bool IsText(platform::RegType type) {
  return type == platform::RegType::kSz || type == platform::RegType::kExpandSz;
}

// Closes the store's key on every way out of a self-contained operation.
class KeyCloser {
 public:
  explicit KeyCloser(SettingsStore& store) : store_(store) {}
  ~KeyCloser() { store_.CloseSettingsKey(); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  SettingsStore& store_;
};

}  // namespace

SettingsStore::SettingsStore(platform::Registry& registry) : registry_(registry) {}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::SettingsKeyExists() {
  return registry_.Open(kSettingsKeyPath, platform::RegAccess::kRead, false) != nullptr;
}

bool SettingsStore::OpenSettingsKey(bool create, const std::string& path) {
  std::string fullPath;
  if (!path.empty() && path.front() == '\\') {
    fullPath = path.substr(1);
  } else if (key_ != nullptr && !path.empty()) {
    fullPath = openPath_ + "\\" + path;
  } else if (key_ != nullptr) {
    fullPath = openPath_;
  } else {
    fullPath = path;
  }
  CloseSettingsKey();
  key_ = registry_.Open(fullPath, platform::RegAccess::kFull, create);
  if (key_ != nullptr)
    openPath_ = fullPath;
  return key_ != nullptr;
}

void SettingsStore::CloseSettingsKey() {
  key_.reset();
  openPath_.clear();
}

std::string SettingsStore::ReadText(const std::string& name) {
  if (key_ == nullptr)
    return {};
  auto value = key_->Query(name);
  if (!value)
    return {};
  if (!IsText(value->type))
    Fail(kInvalidType, name);
  return value->AsText();
}

std::int32_t SettingsStore::ReadNumber(const std::string& name) {
  if (key_ == nullptr)
    Fail(kFailedGet, name);
  auto value = key_->Query(name);
  // Data that does not fit the four-byte buffer fails before its type is
  // looked at.
  if (!value || value->data.size() > 4)
    Fail(kFailedGet, name);
  if (value->type != platform::RegType::kDword)
    Fail(kInvalidType, name);
  return value->AsNumber();
}

bool SettingsStore::ReadFlag(const std::string& name) {
  return ReadNumber(name) != 0;
}

bool SettingsStore::ValueExists(const std::string& name) {
  return key_ != nullptr && key_->Query(name).has_value();
}

void SettingsStore::WriteText(const std::string& name, const std::string& value) {
  if (key_ == nullptr || !key_->Set(name, platform::RegValue::Text(value)))
    Fail(kFailedSet, name);
}

void SettingsStore::WriteNumber(const std::string& name, std::int32_t value) {
  if (key_ == nullptr || !key_->Set(name, platform::RegValue::Number(value))) {
    Fail(kFailedSet, name);
  }
}

void SettingsStore::WriteFlag(const std::string& name, bool value) {
  WriteNumber(name, value ? 1 : 0);
}

bool SettingsStore::AutostartPresent() {
  return platform::AutostartEntryPresent();
}

void SettingsStore::SetAutostart(const std::string& executablePath) {
  if (!platform::WriteAutostartEntry(executablePath))
    Fail(kFailedSet, kAutostartValueName);
}

void SettingsStore::RemoveAutostart() {
  (void)platform::RemoveAutostartEntry();
}

RunSettingsLoad SettingsStore::LoadRunSettings() {
  // A store of its own, so that a key the caller has open stays as it is.
  SettingsStore store(registry_);
  if (!store.SettingsKeyExists())
    return {std::nullopt, kMissingSettingsText};
  KeyCloser closer(store);
  store.OpenSettingsKey(false);
  RunSettings settings;
  settings.databaseKind = store.Read(kDatabaseKind);
  settings.ScanTime = store.Read(kScanTime);
  settings.agencyNumber = store.Read(kAgencyNumber);
  settings.DBHost = store.Read(kDBHost);
  settings.DBName = store.Read(kDBName);
  settings.DBUser = store.Read(kDBUser);
  settings.DBPasswd = store.Read(kDBPasswd);
  settings.DBPort = store.Read(kDBPort);
  settings.RemoteHost = store.Read(kRemoteHost);
  settings.RemotePort = store.Read(kRemotePort);
  settings.SiteCode = store.Read(kSiteCode);
  settings.SiteName = store.Read(kSiteName);
  return {settings, {}};
}

bool SettingsStore::ReadAutoSendFlag() {
  SettingsStore store(registry_);
  KeyCloser closer(store);
  store.OpenSettingsKey(false);
  return store.Exists(kIsAutoSend) && store.Read(kIsAutoSend);
}

bool SettingsStore::ReadNotifyFlag() {
  SettingsStore store(registry_);
  KeyCloser closer(store);
  if (!store.OpenSettingsKey(false) || !store.Exists(kNotify))
    return true;
  try {
    return store.Read(kNotify);
  } catch (const std::exception&) {
    return true;
  }
}

}  // namespace pelvar::config
