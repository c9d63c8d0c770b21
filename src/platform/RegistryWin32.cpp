#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/Registry.h"
#include "platform/WindowsText.h"
#include "text/Gbk.h"

namespace pelvar::platform {
namespace {

using windows_text::Narrow;
using windows_text::Widen;

// Settings an older 32-bit installation wrote on 64-bit Windows live in the
// 32-bit view; every key is opened there, whatever this build's bitness.
constexpr REGSAM kView = KEY_WOW64_32KEY;

bool IsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The registry keeps texts in UTF-16; a RegValue keeps them as GBK, zeros
// (terminators and separators) where the stored data has them.
RegValue FromStored(DWORD type, const std::vector<BYTE>& data) {
  RegValue value{static_cast<RegType>(type), std::string(data.begin(), data.end())};
  if (IsText(type)) {
    std::wstring wide(data.size() / 2, L'\0');
    if (!wide.empty())
      std::memcpy(wide.data(), data.data(), wide.size() * 2);
    value.data = text::Utf8ToGbk(Narrow(wide));
  }
  return value;
}

std::vector<BYTE> ToStored(const RegValue& value) {
  if (!IsText(static_cast<DWORD>(value.type)))
    return std::vector<BYTE>(value.data.begin(), value.data.end());
  const std::wstring wide = Widen(text::GbkToUtf8(value.data));
  std::vector<BYTE> data(wide.size() * 2);
  if (!data.empty())
    std::memcpy(data.data(), wide.data(), data.size());
  return data;
}

class Win32Key : public RegistryKey {
 public:
  Win32Key(HKEY key, bool writable) : key_(key), writable_(writable) {}
  ~Win32Key() override { ::RegCloseKey(key_); }
  Win32Key(const Win32Key&) = delete;
  Win32Key& operator=(const Win32Key&) = delete;

  std::optional<RegValue> Query(const std::string& name) override {
    const std::wstring wideName = Widen(name);
    std::vector<BYTE> data(256);
    for (;;) {
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(data.size());
      const LSTATUS status =
          ::RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA) {
        data.resize(size);
        continue;
      }
      if (status != ERROR_SUCCESS)
        return std::nullopt;
      data.resize(size);
      return FromStored(type, data);
    }
  }

  bool Set(const std::string& name, const RegValue& value) override {
    if (!writable_ || name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
      return false;
    const std::vector<BYTE> data = ToStored(value);
    return ::RegSetValueExW(key_, Widen(name).c_str(), 0, static_cast<DWORD>(value.type),
                            data.data(), static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

  bool Remove(const std::string& name) override {
    return writable_ && ::RegDeleteValueW(key_, Widen(name).c_str()) == ERROR_SUCCESS;
  }

  std::vector<std::pair<std::string, RegValue>> Values() override {
    std::vector<std::pair<std::string, RegValue>> values;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (::RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                           &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
      return values;
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(longestData + 2);
    for (DWORD index = 0; index < count; ++index) {
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD size = static_cast<DWORD>(data.size());
      DWORD type = 0;
      const LSTATUS status = ::RegEnumValueW(key_, index, name.data(), &nameLength, nullptr, &type,
                                             data.data(), &size);
      if (status != ERROR_SUCCESS)
        break;
      values.emplace_back(Narrow(std::wstring(name.data(), nameLength)),
                          FromStored(type, std::vector<BYTE>(data.begin(), data.begin() + size)));
    }
    return values;
  }

 private:
  HKEY key_;
  bool writable_;
};

class Win32Registry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> Open(const std::string& path, RegAccess access,
                                    bool create) override {
    const bool full = access == RegAccess::kFull;
    const REGSAM sam = (full ? KEY_READ | KEY_WRITE : KEY_READ) | kView;
    const std::wstring widePath = Widen(path);
    HKEY key = nullptr;
    const LSTATUS status =
        full && create ? ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, nullptr, 0, sam,
                                           nullptr, &key, nullptr)
                       : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, sam, &key);
    if (status != ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<Win32Key>(key, full);
  }
};

}  // namespace

Registry& Registry::Machine() {
  static Win32Registry machine;
  return machine;
}

}  // namespace pelvar::platform
