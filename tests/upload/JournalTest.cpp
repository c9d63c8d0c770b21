#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "LinkTestPrefix.h"
#include "platform/Clock.h"
#include "text/Error.h"
#include "upload/Journal.h"

namespace pelvar::upload {
namespace {

namespace fs = std::filesystem;

std::string ErrorMessage(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

TEST(Journal, DailyFileInTheMonthFolderAppendedInGbkWithCrLf) {
  LinkTestPrefix prefix;
  platform::SetLocalTime({2031, 2, 3, 10, 0, 0, 0});  // an offset kept in the prefix only
  const fs::path base = prefix.Root() / "var/log/pelvar";
  EXPECT_EQ(Journal::JournalFilePath({2031, 2, 3, 10, 0, 0, 0}), base / "203102/20310203.log");

  Journal::EnsureJournalFolder();
  ASSERT_TRUE(fs::is_directory(base / "203102"));
  Journal journal;
  journal.OpenJournal();
  journal.WriteJournalLine("2031-2-3 10:00:00 启动上传 成功！");
  journal.WriteJournalLine("");
  journal.CloseJournal();
  journal.CloseJournal();
  EXPECT_FALSE(journal.IsOpen());
  EXPECT_FALSE(ErrorMessage([&] { journal.WriteJournalLine("x"); }).empty());

  // A second use the same day appends.
  journal.OpenJournal();
  journal.WriteJournalLine("ab");
  journal.CloseJournal();
  EXPECT_EQ(
      LinkTestPrefix::ReadBytes(base / "203102/20310203.log"),
      "2031-2-3 10:00:00 \xC6\xF4\xB6\xAF\xC9\xCF\xB4\xAB \xB3\xC9\xB9\xA6\xA3\xA1\r\n\r\nab\r\n");

  // The first use in a new month makes the new folder before the file.
  platform::SetLocalTime({2031, 3, 1, 0, 0, 5, 0});
  Journal::EnsureJournalFolder();
  journal.OpenJournal();
  journal.WriteJournalLine("march");
  journal.CloseJournal();
  EXPECT_EQ(LinkTestPrefix::ReadBytes(base / "203103/20310301.log"), "march\r\n");
}

TEST(Journal, MissingBaseFolderAndFullDiskAreErrors) {
  {
    LinkTestPrefix prefix(/*withJournalBase=*/false);
    platform::SetLocalTime({2031, 2, 3, 10, 0, 0, 0});
    Journal::EnsureJournalFolder();  // only the last level would be made: nothing happens
    EXPECT_FALSE(fs::exists(prefix.Root() / "var/log"));
    Journal journal;
    EXPECT_EQ(ErrorMessage([&] { journal.OpenJournal(); }),
              "Cannot open file \"" +
                  (prefix.Root() / "var/log/pelvar/203102/20310203.log").string() +
                  "\". No such file or directory");
    EXPECT_FALSE(journal.IsOpen());
  }
  {
    LinkTestPrefix prefix;
    platform::SetLocalTime({2031, 2, 3, 10, 0, 0, 0});
    Journal::EnsureJournalFolder();
    const fs::path file = prefix.Root() / "var/log/pelvar/203102/20310203.log";
    fs::create_symlink("/dev/full", file);
    Journal journal;
    journal.OpenJournal();
    EXPECT_EQ(ErrorMessage([&] { journal.WriteJournalLine("lost"); }),
              "Cannot write file \"" + file.string() + "\". No space left on device");
    journal.CloseJournal();
  }
}

}  // namespace
}  // namespace pelvar::upload
