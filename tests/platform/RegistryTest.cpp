#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Registry.h"
#include "support/TempPrefix.h"
#include "support/Unprivileged.h"
#include "text/Error.h"
#include "text/Gbk.h"

namespace pelvar::platform {
namespace {

using test::TempPrefix;

constexpr const char* kDaviv = "SOFTWARE\\ZIRODU\\DAVIV";

// The bytes of a registry file whose UTF-8 text is written with LF.
std::string FileBytes(const std::string& lfText) {
  std::string crlf;
  for (char c : lfText) {
    if (c == '\n')
      crlf += '\r';
    crlf += c;
  }
  return text::Utf8ToGbk(crlf);
}

RegValue Raw(RegType type, const std::string& data) {
  return RegValue{type, data};
}

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(FileRegistry, WritesRegeditTextAndReadsEveryValueBackExactly) {
  TempPrefix prefix;
  EXPECT_EQ(RegValue::Text("ab").data, std::string("ab\0", 3));
  EXPECT_EQ(RegValue::Text("誠").data, std::string("\xD5\x5C\0", 3));
  EXPECT_EQ(RegValue::Number(-2).AsNumber(), -2);

  std::string binary;
  for (int i = 0; i < 30; ++i)
    binary += static_cast<char>(i);
  const std::vector<std::pair<std::string, RegValue>> values = {
      {"Dwbh", RegValue::Text("检测A1")},
      {"Path", RegValue::Text("C:\\dir\\\"q\"")},
      {"誠", RegValue::Text("誠\\")},
      {"ScanTime", RegValue::Number(100)},
      {"Neg", RegValue::Number(-2)},
      {"Bin", Raw(RegType::kBinary, binary)},
      {"NoZero", Raw(RegType::kSz, "ab")},
      {"Multi", Raw(RegType::kMultiSz, std::string("a\0b\0\0", 5))},
      {"Line", RegValue::Text("a\r\nb")},
      {"", RegValue::Text("默认")},
      {"Expand", Raw(RegType::kExpandSz, std::string("%P%\0", 4))},
  };

  FileRegistry registry(prefix.RegistryFile().string());
  auto key = registry.Open(kDaviv, RegAccess::kFull, true);
  ASSERT_NE(key, nullptr);
  for (const auto& [name, value] : values)
    ASSERT_TRUE(key->Set(name, value)) << name;

  const std::string bytes = prefix.ReadRegistryBytes();
  EXPECT_EQ(bytes, FileBytes(R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\ZIRODU\DAVIV]
"Dwbh"="检测A1"
"Path"="C:\\dir\\\"q\""
"誠"="誠\\"
"ScanTime"=dword:00000064
"Neg"=dword:fffffffe
"Bin"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17,18,19,1a,1b,1c,1d
"NoZero"=hex(1):61,62
"Multi"=hex(7):61,00,62,00,00
"Line"=hex(1):61,0d,0a,62,00
@="默认"
"Expand"=hex(2):25,50,25,00

)"));
  // 誠's trail byte is a backslash and is not escaped as one; the escaped
  // backslash after it is.
  EXPECT_NE(bytes.find("\"\xD5\x5C\"=\"\xD5\x5C\\\\\"\r\n"), std::string::npos);

  auto reader = FileRegistry(prefix.RegistryFile().string()).Open(kDaviv, RegAccess::kRead, false);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Values(), values);

  // Names compare without regard to case; a replaced value keeps its place
  // and its name.
  ASSERT_TRUE(key->Set("DWBH", RegValue::Text("x")));
  EXPECT_EQ(reader->Values().front(), std::make_pair(std::string("Dwbh"), RegValue::Text("x")));
  EXPECT_EQ(reader->Query("scantime"), RegValue::Number(100));
  EXPECT_TRUE(key->Remove("path"));
  EXPECT_FALSE(key->Remove("Path"));
  EXPECT_FALSE(reader->Query("Path").has_value());

  // A key opened for reading refuses writes and leaves the file alone.
  const std::string before = prefix.ReadRegistryBytes();
  EXPECT_FALSE(reader->Set("Dwbh", RegValue::Text("y")));
  EXPECT_FALSE(reader->Remove("Dwbh"));
  EXPECT_EQ(prefix.ReadRegistryBytes(), before);

  // Key paths: any case, parents exist, missing keys are not created
  // without being asked, malformed paths open nothing.
  EXPECT_NE(registry.Open("software\\zirodu\\daviv\\", RegAccess::kRead, false), nullptr);
  EXPECT_NE(registry.Open("SOFTWARE\\ZIRODU", RegAccess::kRead, false), nullptr);
  EXPECT_EQ(registry.Open("SOFTWARE\\OTHER", RegAccess::kFull, false), nullptr);
  EXPECT_EQ(registry.Open("SOFTWARE\\OTHER", RegAccess::kRead, true), nullptr);
  EXPECT_EQ(registry.Open("\\SOFTWARE", RegAccess::kRead, false), nullptr);
  EXPECT_EQ(registry.Open("SOFTWARE\\\\ZIRODU", RegAccess::kRead, false), nullptr);
  EXPECT_EQ(prefix.ReadRegistryBytes(), before);
}

TEST(FileRegistry, ReadsAHandWrittenFileWithLfLineEndsAndRewritesItWithCrlf) {
  TempPrefix prefix;
  prefix.WriteRegistry(R"(REGEDIT4
; written by hand
[HKEY_CURRENT_USER\Other]
"Keep"="me"

[HKEY_LOCAL_MACHINE\SOFTWARE\ZIRODU\DAVIV]
@="默认"
"Dwbh" = "岚秋"
"ScanTime"=dword:0000012C
"Blob"=hex:01,02,\
  03,\
  04
"DBPasswd"="p\"w\\d"

[hkey_local_machine\software\zirodu\daviv]
"dwbh"="后来"
)");
  FileRegistry registry(prefix.RegistryFile().string());
  auto key = registry.Open(kDaviv, RegAccess::kFull, false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Query("Dwbh")->AsText(), "后来");
  EXPECT_EQ(key->Query("ScanTime"), RegValue::Number(300));
  EXPECT_EQ(key->Query("Blob"), Raw(RegType::kBinary, "\x01\x02\x03\x04"));
  EXPECT_EQ(key->Query("DBPasswd")->AsText(), "p\"w\\d");
  EXPECT_EQ(key->Query("")->AsText(), "默认");

  ASSERT_TRUE(key->Set("RemotePort", RegValue::Number(13031)));
  EXPECT_EQ(prefix.ReadRegistryBytes(), FileBytes(R"(REGEDIT4

[HKEY_CURRENT_USER\Other]
"Keep"="me"

[HKEY_LOCAL_MACHINE\SOFTWARE\ZIRODU\DAVIV]
@="默认"
"Dwbh"="后来"
"ScanTime"=dword:0000012c
"Blob"=hex:01,02,03,04
"DBPasswd"="p\"w\\d"
"RemotePort"=dword:000032e7

)"));
}

TEST(FileRegistry, AMalformedFileIsReportedWithItsLineAndNeverOverwritten) {
  TempPrefix prefix;
  const std::string path = prefix.RegistryFile().string();
  const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n";
  const std::vector<std::pair<std::string, int>> cases = {
      {"REGEDIT5\r\n", 1},
      {"\n", 1},
      {"REGEDIT4\n\n\"A\"=\"b\"\n", 3},
      {"REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n", 3},
      {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\n", 3},
      {head + "\"A\"=\"b\\n\"\r\n", 4},
      {head + "\"A\"=\"open\r\n", 4},
      {head + "\"A\"=dword:123456789\r\n", 4},
      {head + "\"A\"=hex:01,02,\r\n", 4},
      {head + "\"A\"=hex:01,\\\r\n", 4},
      {head + "\"A\"=hex(x):01\r\n", 4},
      {head + "\"A\"=-\r\n", 4},
      {head + "\"A\"=\"b\"\r\n\"B\"=hex:01,\\\r\n  zz\r\n", 5},
      {head + "\"A\"=\"b\"\r\njunk\r\n", 5},
      // Bytes that are no GBK would come back as "?" when the file is rewritten.
      {head + "\"Dw\x9b\xff\xff"
              "bh\"=\"J01\"\r\n",
       4},
      {head + "\"Dwbh\"=\"J\xff"
              "01\"\r\n",
       4},
      {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFT\xffWARE]\r\n", 3},
  };
  FileRegistry registry(path);
  for (const auto& [content, line] : cases) {
    test::WriteFileBytes(path, content);
    EXPECT_EQ(ErrorText([&] { registry.Open(kDaviv, RegAccess::kRead, false); })
                  .rfind("Registry file '" + path + "' is malformed at line " +
                             std::to_string(line) + ": ",
                         0),
              0u)
        << content;
  }

  // A key opened while the file was sound: the writes throw and the broken
  // file stays exactly as it is, also through the machine registry.
  test::WriteFileBytes(path, head);
  auto key = registry.Open(kDaviv, RegAccess::kFull, false);
  ASSERT_NE(key, nullptr);
  const std::string broken = head + "\"Dwbh\"=\"abc\r\n\"ScanTime\"=dword:00000064\r\n";
  test::WriteFileBytes(path, broken);
  EXPECT_EQ(ErrorText([&] { key->Set("ScanTime", RegValue::Number(5)); }),
            "Registry file '" + path +
                "' is malformed at line 4: a quoted text without its "
                "closing quote");
  EXPECT_THROW(key->Remove("ScanTime"), Error);
  EXPECT_THROW(key->Query("ScanTime"), Error);
  EXPECT_THROW(Registry::Machine().Open(kDaviv, RegAccess::kFull, true), Error);
  EXPECT_EQ(test::ReadFileBytes(path), broken);

  // An empty file holds no keys and may be written.
  test::WriteFileBytes(path, "");
  EXPECT_EQ(registry.Open(kDaviv, RegAccess::kRead, false), nullptr);
  EXPECT_NE(registry.Open(kDaviv, RegAccess::kFull, true), nullptr);
}

TEST(FileRegistry, ConcurrentWritersKeepEveryValue) {
  TempPrefix prefix;
  const std::string path = prefix.RegistryFile().string();
  constexpr int kWriters = 3;
  constexpr int kValues = 40;
  std::vector<pid_t> children;
  for (int writer = 0; writer < kWriters; ++writer) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      try {
        FileRegistry own(path);
        for (int i = 0; i < kValues; ++i) {
          auto key = own.Open(kDaviv, RegAccess::kFull, true);
          std::string name = "W" + std::to_string(writer) + "_" + std::to_string(i);
          if (key == nullptr || !key->Set(name, RegValue::Number(writer * 1000 + i)))
            ++failures;
        }
      } catch (...) {
        ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto key = FileRegistry(path).Open(kDaviv, RegAccess::kRead, false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Values().size(), static_cast<std::size_t>(kWriters * kValues));
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int i = 0; i < kValues; ++i) {
      auto value = key->Query("W" + std::to_string(writer) + "_" + std::to_string(i));
      EXPECT_EQ(value, RegValue::Number(writer * 1000 + i));
    }
  }
  // No temporary file is left beside the registry file.
  for (const auto& entry :
       std::filesystem::directory_iterator(prefix.RegistryFile().parent_path())) {
    auto name = entry.path().filename().string();
    EXPECT_TRUE(name == "machine.reg" || name == "machine.reg.lock") << name;
  }
}

TEST(FileRegistry, MachineFollowsThePrefixAndRightsFollowTheFile) {
  TempPrefix prefix;
  auto key = Registry::Machine().Open(kDaviv, RegAccess::kFull, true);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->Set("Dwbh", RegValue::Text("A")));
  EXPECT_EQ(prefix.ReadRegistryBytes(),
            FileBytes("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\n"
                      "\"Dwbh\"=\"A\"\n\n"));

  const auto other = prefix.Path() / "other";
  setenv("PELVAR_PREFIX", other.c_str(), 1);
  EXPECT_EQ(Registry::Machine().Open(kDaviv, RegAccess::kRead, false), nullptr);
  EXPECT_FALSE(std::filesystem::exists(other));
  setenv("PELVAR_PREFIX", prefix.Path().c_str(), 1);
  EXPECT_NE(Registry::Machine().Open(kDaviv, RegAccess::kRead, false), nullptr);

  chmod(prefix.Path().c_str(), 0755);
  const std::string path = prefix.RegistryFile().string();
  const auto readOnlyFolder = prefix.Path() / "ro";
  std::filesystem::create_directories(readOnlyFolder);
  chmod(readOnlyFolder.c_str(), 0555);
  chmod(path.c_str(), 0444);
  test::RunUnprivileged([&] {
    FileRegistry registry(path);
    EXPECT_NE(registry.Open(kDaviv, RegAccess::kRead, false), nullptr);
    EXPECT_EQ(registry.Open(kDaviv, RegAccess::kFull, false), nullptr);
    EXPECT_EQ(registry.Open(kDaviv, RegAccess::kFull, true), nullptr);
    FileRegistry unwritable((readOnlyFolder / "etc/pelvar/machine.reg").string());
    EXPECT_EQ(unwritable.Open(kDaviv, RegAccess::kFull, true), nullptr);
    EXPECT_FALSE(std::filesystem::exists(readOnlyFolder / "etc"));
  });
  chmod(path.c_str(), 0);
  test::RunUnprivileged(
      [&] { EXPECT_EQ(FileRegistry(path).Open(kDaviv, RegAccess::kRead, false), nullptr); });
}

TEST(FileRegistry, TheFileStaysPrivateAndNoLinkIsFollowed) {
  namespace fs = std::filesystem;
  TempPrefix prefix;
  const std::string path = prefix.RegistryFile().string();
  const std::string lockPath = path + ".lock";
  fs::create_directories(prefix.RegistryFile().parent_path());
  // As root the folder gets a group of its own, standing for the package's.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(prefix.RegistryFile().parent_path().c_str(), -1, 4242), 0);
  }
  auto access = [](const std::string& file) {
    struct stat status {};
    EXPECT_EQ(stat(file.c_str(), &status), 0) << file;
    return status;
  };
  FileRegistry registry(path);
  auto key = registry.Open(kDaviv, RegAccess::kFull, true);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->Set("Password", RegValue::Text("secret")));
  for (const std::string& file : {path, lockPath}) {
    EXPECT_EQ(access(file).st_mode & 07777, 0640u) << file;
    if (root) {
      EXPECT_EQ(access(file).st_gid, 4242u) << file;
    }
  }

  // A rewrite keeps the owner, the group and a stricter mode; others lose
  // what they could read.
  chmod(path.c_str(), 0600);
  if (root) {
    ASSERT_EQ(chown(path.c_str(), 4321, 4343), 0);
  }
  ASSERT_TRUE(key->Set("Dwbh", RegValue::Text("A")));
  EXPECT_EQ(access(path).st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(access(path).st_uid, 4321u);
    EXPECT_EQ(access(path).st_gid, 4343u);
  }
  chmod(path.c_str(), 0664);
  ASSERT_TRUE(key->Set("Dwbh", RegValue::Text("B")));
  EXPECT_EQ(access(path).st_mode & 07777, 0660u);

  // Links planted in place of the lock or the file.
  const fs::path target = prefix.Path() / "target";
  test::WriteFileBytes(target, "mine");
  const std::string saved = prefix.ReadRegistryBytes();
  fs::remove(lockPath);
  fs::create_symlink(target, lockPath);
  EXPECT_EQ(ErrorText([&] { key->Set("Dwbh", RegValue::Text("C")); }),
            "'" + lockPath + "' is a symbolic link; nothing is written through it.");
  fs::remove(lockPath);
  fs::create_symlink(prefix.Path() / "absent", lockPath);
  EXPECT_NE(ErrorText([&] { key->Set("Dwbh", RegValue::Text("C")); }), "(no error)");
  EXPECT_FALSE(fs::exists(prefix.Path() / "absent"));
  fs::remove(lockPath);
  EXPECT_EQ(prefix.ReadRegistryBytes(), saved);

  fs::remove(path);
  fs::create_symlink(target, path);
  EXPECT_EQ(ErrorText([&] { key->Set("Dwbh", RegValue::Text("C")); }),
            "'" + path + "' is a symbolic link; nothing is written through it.");
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(test::ReadFileBytes(target), "mine");
}

}  // namespace
}  // namespace pelvar::platform
