#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <filesystem>
#include <system_error>

#include "platform/OperatorRights.h"
#include "platform/Paths.h"
#include "platform/WindowsText.h"

namespace pelvar::platform {
namespace {

using windows_text::Narrow;
using windows_text::SystemErrorText;
using windows_text::Widen;

// BUILTIN\Users: every local account, the operators' among them, whatever
// the system's language calls the group.
class UsersSid {
 public:
  UsersSid() { ::ConvertStringSidToSidW(L"S-1-5-32-545", &sid_); }
  ~UsersSid() { ::LocalFree(sid_); }
  UsersSid(const UsersSid&) = delete;
  UsersSid& operator=(const UsersSid&) = delete;
  PSID Get() const { return sid_; }

 private:
  PSID sid_ = nullptr;
};

// Adds an inherited grant for the group to the object's own access list.
DWORD AddGrant(HANDLE object, SE_OBJECT_TYPE type, PSID group, DWORD permissions) {
  PACL current = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = ::GetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   &current, nullptr, &descriptor);
  if (status != ERROR_SUCCESS)
    return status;
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = permissions;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = static_cast<LPWSTR>(group);
  PACL updated = nullptr;
  status = ::SetEntriesInAclW(1, &access, current, &updated);
  if (status == ERROR_SUCCESS) {
    status = ::SetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, updated,
                               nullptr);
  }
  ::LocalFree(updated);
  ::LocalFree(descriptor);
  return status;
}

OperatorRight Result(std::string what, DWORD status) {
  OperatorRight right{std::move(what), status == ERROR_SUCCESS, {}};
  if (!right.granted)
    right.detail = SystemErrorText(status);
  return right;
}

OperatorRight SettingsKey(const std::string& path, PSID group) {
  HKEY key = nullptr;
  LSTATUS status =
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Widen(path).c_str(), 0, nullptr, 0,
                        READ_CONTROL | WRITE_DAC | KEY_WOW64_32KEY, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = static_cast<LSTATUS>(
        AddGrant(key, SE_REGISTRY_KEY, group, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY));
    ::RegCloseKey(key);
  }
  return Result("settings key HKLM\\" + path, static_cast<DWORD>(status));
}

OperatorRight JournalFolder(PSID group) {
  const std::filesystem::path folder = JournalBaseFolder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  HANDLE handle = ::CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  DWORD status = ERROR_SUCCESS;
  if (handle == INVALID_HANDLE_VALUE) {
    status = ::GetLastError();
  } else {
    // Month folders, day files and appending to them; no deleting.
    status = AddGrant(handle, SE_FILE_OBJECT, group,
                      FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE);
    ::CloseHandle(handle);
  }
  return Result("journal folder " + Narrow(folder.wstring()), status);
}

OperatorRight SetClock(PSID group) {
  LSA_OBJECT_ATTRIBUTES attributes{};
  LSA_HANDLE policy = nullptr;
  NTSTATUS status =
      ::LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, &policy);
  if (status == 0) {
    wchar_t name[] = L"SeSystemtimePrivilege";
    LSA_UNICODE_STRING right{static_cast<USHORT>(sizeof name - sizeof(wchar_t)),
                             static_cast<USHORT>(sizeof name), name};
    status = ::LsaAddAccountRights(policy, group, &right, 1);
    ::LsaClose(policy);
  }
  return Result("right to set the clock (SeSystemtimePrivilege)", ::LsaNtStatusToWinError(status));
}

}  // namespace

std::vector<OperatorRight> GrantOperatorRights(const std::string& settingsKeyPath, bool clock) {
  UsersSid users;
  std::vector<OperatorRight> rights;
  rights.push_back(SettingsKey(settingsKeyPath, users.Get()));
  rights.push_back(JournalFolder(users.Get()));
  if (clock)
    rights.push_back(SetClock(users.Get()));
  return rights;
}

}  // namespace pelvar::platform
