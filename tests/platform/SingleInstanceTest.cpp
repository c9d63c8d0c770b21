#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/SingleInstance.h"
#include "support/TempPrefix.h"

namespace pelvar::platform {
namespace {

TEST(SingleInstanceLock, OneHolderPerNameUntilReleased) {
  test::TempPrefix prefix;
  auto first = SingleInstanceLock::Acquire("VodEdav");
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(std::filesystem::exists(prefix.Path() / "run/pelvar/VodEdav.lock"));
  EXPECT_EQ(SingleInstanceLock::Acquire("VodEdav"), nullptr);
  EXPECT_NE(SingleInstanceLock::Acquire("Other"), nullptr);

  // Another process is refused as well, and gets the lock once it is free.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0)
    _exit(SingleInstanceLock::Acquire("VodEdav") == nullptr ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  first.reset();
  EXPECT_NE(SingleInstanceLock::Acquire("VodEdav"), nullptr);
}

}  // namespace
}  // namespace pelvar::platform
