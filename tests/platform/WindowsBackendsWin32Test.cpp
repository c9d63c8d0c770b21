#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "platform/AppendFile.h"
#include "platform/AtomicFile.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/OperatorRights.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/UploaderLock.h"
#include "support/TempPrefix.h"
#include "text/Gbk.h"

namespace pelvar::platform {
namespace {

namespace fs = std::filesystem;

// A value as the 64-bit view sees it, to prove where our writes land.
std::optional<std::wstring> ReadText64(const wchar_t* path, const wchar_t* name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS)
    return std::nullopt;
  wchar_t data[256] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  const LSTATUS status =
      ::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::optional<std::wstring>(data) : std::nullopt;
}

TEST(WindowsRegistry, EveryTypeRoundTripsInTheThirtyTwoBitView) {
  test::TempPrefix prefix;
  Registry& registry = Registry::Machine();
  EXPECT_EQ(registry.Open("SOFTWARE\\ZIRODU\\DAVIV", RegAccess::kRead, false), nullptr);
  auto key = registry.Open("SOFTWARE\\ZIRODU\\DAVIV", RegAccess::kFull, true);
  ASSERT_NE(key, nullptr);

  const RegValue chinese = RegValue::Text("检测报告 誠 \"q\" \\");
  const RegValue binary{RegType::kBinary, std::string("\0\x01\xFF", 3)};
  const RegValue multi{RegType::kMultiSz, text::Utf8ToGbk("甲") + std::string("\0b\0\0", 4)};
  EXPECT_TRUE(key->Set("Dwbh", chinese));
  EXPECT_TRUE(key->Set("ScanTime", RegValue::Number(-2)));
  EXPECT_TRUE(key->Set("Blob", binary));
  EXPECT_TRUE(key->Set("Multi", multi));
  EXPECT_FALSE(key->Set("Bad\nName", RegValue::Number(1)));

  auto reader = registry.Open("software\\zirodu\\daviv", RegAccess::kRead, false);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Query("DWBH"), chinese);
  EXPECT_EQ(reader->Query("ScanTime")->AsNumber(), -2);
  EXPECT_EQ(reader->Query("Blob"), binary);
  EXPECT_EQ(reader->Query("Multi"), multi);
  EXPECT_FALSE(reader->Query("Missing").has_value());
  EXPECT_FALSE(reader->Set("Dwbh", chinese));  // opened for reading
  const auto values = reader->Values();
  ASSERT_EQ(values.size(), 4u);
  EXPECT_NE(
      std::find(values.begin(), values.end(), std::pair<std::string, RegValue>("Dwbh", chinese)),
      values.end());

  // Where a 32-bit installation keeps its settings on 64-bit Windows.
  EXPECT_EQ(ReadText64(L"SOFTWARE\\WOW6432Node\\ZIRODU\\DAVIV", L"Dwbh"), L"检测报告 誠 \"q\" \\");
  EXPECT_TRUE(key->Remove("Blob"));
  EXPECT_FALSE(key->Remove("Blob"));
}

TEST(WindowsAutostart, RunValueHoldsThePathWithoutQuotes) {
  test::TempPrefix prefix;
  EXPECT_FALSE(AutostartEntryPresent());
  EXPECT_FALSE(RemoveAutostartEntry());
  ASSERT_TRUE(WriteAutostartEntry("C:\\Program Files\\Pelvar\\pelvar.exe"));
  EXPECT_TRUE(AutostartEntryPresent());
  EXPECT_EQ(ReadText64(L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                       L"zqjcPelvarAuto"),
            L"C:\\Program Files\\Pelvar\\pelvar.exe");
  EXPECT_TRUE(RemoveAutostartEntry());
  EXPECT_FALSE(AutostartEntryPresent());
}

TEST(WindowsLocks, OneInstanceAndOneUploaderAcrossThreads) {
  auto instance = SingleInstanceLock::Acquire("PelvarTestInstance");
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(SingleInstanceLock::Acquire("PelvarTestInstance"), nullptr);
  instance.reset();
  EXPECT_NE(SingleInstanceLock::Acquire("PelvarTestInstance"), nullptr);

  EXPECT_FALSE(UploaderLock::UploaderRunning());
  auto uploader = UploaderLock::TryAcquire();
  ASSERT_NE(uploader, nullptr);
  EXPECT_TRUE(UploaderLock::UploaderRunning());
  // A mutex's owner may take it again; the lock is held, not owned.
  std::thread([] { EXPECT_EQ(UploaderLock::TryAcquire(), nullptr); }).join();
  EXPECT_EQ(UploaderLock::TryAcquire(), nullptr);
  uploader.reset();
  EXPECT_FALSE(UploaderLock::UploaderRunning());
}

TEST(WindowsFiles, ClockOffsetJournalBaseAndFilesStayInThePrefix) {
  test::TempPrefix prefix;
  EXPECT_EQ(HowLocalTimeIsSet(), ClockSetting::kOffset);
  SetLocalTime(text::DateTime{2031, 2, 3, 4, 5, 6, 0});
  EXPECT_EQ(Now().year, 2031);
  EXPECT_EQ(JournalBaseFolder(), (prefix.Path() / "var\\log\\pelvar\\"));

  const fs::path file = prefix.Path() / "settings.txt";
  ASSERT_TRUE(ReplaceFileAtomically(file, "one"));
  ASSERT_TRUE(ReplaceFileAtomically(file, "two"));
  EXPECT_EQ(test::ReadFileBytes(file), "two");
  EXPECT_EQ(fs::directory_iterator(prefix.Path())->path().filename(), fs::path("settings.txt"));

  std::string reason;
  std::FILE* journal = OpenFileForAppending(prefix.Path() / "day.log", reason);
  ASSERT_NE(journal, nullptr) << reason;
  std::fputs("a\r\n", journal);
  std::fclose(journal);
  journal = OpenFileForAppending(prefix.Path() / "day.log", reason);
  std::fputs("b\r\n", journal);
  std::fclose(journal);
  EXPECT_EQ(test::ReadFileBytes(prefix.Path() / "day.log"), "a\r\nb\r\n");
  EXPECT_EQ(OpenFileForAppending(prefix.Path() / "none" / "day.log", reason), nullptr);
  EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace pelvar::platform

namespace pelvar::platform {
namespace {

// Whether the object's access list lets BUILTIN\Users do all of wanted.
bool UsersMay(HANDLE object, SE_OBJECT_TYPE type, DWORD wanted) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                        &descriptor) != ERROR_SUCCESS)
    return false;
  PSID users = nullptr;
  ::ConvertStringSidToSidW(L"S-1-5-32-545", &users);
  DWORD granted = 0;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (::GetAce(acl, i, &ace) &&
        static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      if (::EqualSid(&allowed->SidStart, users))
        granted |= allowed->Mask;
    }
  }
  ::LocalFree(users);
  ::LocalFree(descriptor);
  return (granted & wanted) == wanted;
}

TEST(WindowsOperatorRights, UsersMayChangeTheSettingsKeyAndTheJournalFolderIsMade) {
  test::TempPrefix prefix;
  const auto rights = GrantOperatorRights("SOFTWARE\\ZIRODU\\RIGHTSTEST", false);
  ASSERT_EQ(rights.size(), 2u);
  for (const OperatorRight& right : rights)
    EXPECT_TRUE(right.granted) << right.what << ": " << right.detail;

  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZIRODU\\RIGHTSTEST", 0,
                            READ_CONTROL | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);
  EXPECT_TRUE(UsersMay(key, SE_REGISTRY_KEY, KEY_SET_VALUE | KEY_QUERY_VALUE));
  ::RegCloseKey(key);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZIRODU\\RIGHTSTEST", KEY_WOW64_32KEY, 0);

  // Wine keeps no access list of a file or folder (it answers with one made
  // from the Unix modes), so the folder's grant is seen on Windows only.
  EXPECT_TRUE(fs::is_directory(JournalBaseFolder()));
}

}  // namespace
}  // namespace pelvar::platform
