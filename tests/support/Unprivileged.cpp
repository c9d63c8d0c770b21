#include "support/Unprivileged.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>

namespace pelvar::test {

void RunUnprivileged(const std::function<void()>& checks) {
  if (geteuid() != 0) {
    checks();
    return;
  }
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
      _exit(3);
    // Nothing may escape the child: it would go on running the other tests.
    try {
      checks();
    } catch (const std::exception& error) {
      ADD_FAILURE() << "unprivileged checks threw: " << error.what();
    } catch (...) {
      ADD_FAILURE() << "unprivileged checks threw";
    }
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the unprivileged checks failed (see above)";
}

}  // namespace pelvar::test
