#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/UploaderLock.h"
#include "support/TempPrefix.h"
#include "text/Error.h"

namespace pelvar::platform {
namespace {

namespace fs = std::filesystem;

TEST(UploaderLock, OneUploaderPerMachineAndNothingThroughASymlink) {
  test::TempPrefix prefix;
  const fs::path folder = prefix.RegistryFile().parent_path();
  fs::create_directories(folder);
  EXPECT_FALSE(UploaderLock::UploaderRunning());
  EXPECT_FALSE(fs::exists(folder / "uploader.lock"));  // asking creates nothing

  auto first = UploaderLock::TryAcquire();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(UploaderLock::UploaderRunning());
  EXPECT_EQ(UploaderLock::TryAcquire(), nullptr);
  // Another process is refused and sees the uploader running.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0)
    _exit(UploaderLock::TryAcquire() == nullptr && UploaderLock::UploaderRunning() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  first.reset();
  EXPECT_FALSE(UploaderLock::UploaderRunning());
  // A lock file left by another account, read-only to us, still locks.
  fs::permissions(folder / "uploader.lock",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_NE(UploaderLock::TryAcquire(), nullptr);

  // A symlink in its place is refused and its target never created.
  fs::remove(folder / "uploader.lock");
  fs::create_symlink(prefix.Path() / "elsewhere", folder / "uploader.lock");
  EXPECT_THROW(UploaderLock::TryAcquire(), Error);
  EXPECT_THROW(UploaderLock::UploaderRunning(), Error);
  EXPECT_FALSE(fs::exists(prefix.Path() / "elsewhere"));
}

}  // namespace
}  // namespace pelvar::platform
