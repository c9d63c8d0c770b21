#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>
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
    // A file that may grow no further stands for a full disk.
    LinkTestPrefix prefix;
    platform::SetLocalTime({2031, 2, 3, 10, 0, 0, 0});
    Journal::EnsureJournalFolder();
    const fs::path file = prefix.Root() / "var/log/pelvar/203102/20310203.log";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{0, 0};
      setrlimit(RLIMIT_FSIZE, &limit);
      Journal journal;
      journal.OpenJournal();
      std::string message = ErrorMessage([&] { journal.WriteJournalLine("lost"); });
      _exit(message == "Cannot write file \"" + file.string() + "\". File too large" ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}

TEST(Journal, NothingIsWrittenThroughASymbolicLink) {
  LinkTestPrefix prefix;
  platform::SetLocalTime({2031, 2, 3, 10, 0, 0, 0});
  const fs::path base = prefix.Root() / "var/log/pelvar";
  const fs::path target = prefix.Root() / "target";
  std::ofstream(target) << "mine\n";
  Journal journal;

  Journal::EnsureJournalFolder();
  const fs::path file = base / "203102/20310203.log";
  fs::create_symlink(target, file);
  EXPECT_EQ(ErrorMessage([&] { journal.OpenJournal(); }),
            "Cannot open file \"" + file.string() +
                "\". It is a symbolic link; nothing is written through it.");
  fs::remove(file);
  fs::create_symlink(prefix.Root() / "absent", file);  // a dangling link creates nothing
  EXPECT_FALSE(ErrorMessage([&] { journal.OpenJournal(); }).empty());
  EXPECT_FALSE(fs::exists(prefix.Root() / "absent"));

  fs::remove_all(base / "203102");
  fs::create_directory_symlink(prefix.Root(), base / "203102");
  EXPECT_EQ(ErrorMessage([&] { journal.OpenJournal(); }),
            "Cannot open file \"" + file.string() +
                "\". Its folder is a symbolic link; nothing is written through it.");
  EXPECT_FALSE(journal.IsOpen());
  EXPECT_FALSE(fs::exists(prefix.Root() / "20310203.log"));
  EXPECT_EQ(LinkTestPrefix::ReadBytes(target), "mine\n");
}

}  // namespace
}  // namespace pelvar::upload
