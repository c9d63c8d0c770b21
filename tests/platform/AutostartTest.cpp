#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "support/TempPrefix.h"

namespace pelvar::platform {
namespace {

std::string Entry(const std::string& exec) {
  return "[Desktop Entry]\nType=Application\nName=检测监管数据上传\nExec=" + exec +
         "\nX-GNOME-Autostart-enabled=true\n";
}

TEST(Autostart, WritesQuotesAndRemovesTheXdgEntry) {
  test::TempPrefix prefix;
  const auto path = prefix.Path() / "etc/xdg/autostart/zqjcPelvarAuto.desktop";
  EXPECT_EQ(AutostartEntryPath(), path);
  EXPECT_FALSE(AutostartEntryPresent());
  EXPECT_FALSE(RemoveAutostartEntry());

  ASSERT_TRUE(WriteAutostartEntry("/usr/bin/pelvar"));
  EXPECT_TRUE(AutostartEntryPresent());
  EXPECT_EQ(test::ReadFileBytes(path), Entry("/usr/bin/pelvar"));

  // Blanks and reserved characters quote the path; inside the quotes $ and
  // backslash are escaped, then every backslash is doubled once more by the
  // file's string escapes; % is doubled so it is no field code.
  ASSERT_TRUE(WriteAutostartEntry("/opt/岚秋 软件/pelvar$1\\x%"));
  EXPECT_EQ(test::ReadFileBytes(path), Entry("\"/opt/岚秋 软件/pelvar\\\\$1\\\\\\\\x%%\""));
  ASSERT_TRUE(WriteAutostartEntry("/opt/a(b)/pelvar"));
  EXPECT_EQ(test::ReadFileBytes(path), Entry("\"/opt/a(b)/pelvar\""));

  EXPECT_TRUE(RemoveAutostartEntry());
  EXPECT_FALSE(AutostartEntryPresent());
  EXPECT_FALSE(std::filesystem::exists(path));

  // A folder that cannot be made: the write is refused.
  std::filesystem::remove_all(prefix.Path() / "etc/xdg");
  test::WriteFileBytes(prefix.Path() / "etc/xdg", "not a folder");
  EXPECT_FALSE(WriteAutostartEntry("/usr/bin/pelvar"));
  EXPECT_FALSE(AutostartEntryPresent());
}

}  // namespace
}  // namespace pelvar::platform
