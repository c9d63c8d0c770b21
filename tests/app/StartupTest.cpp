#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/SingleInstance.h"
#include "support/Process.h"
#include "support/TempPrefix.h"

extern char** environ;

namespace pelvar::apptest {
namespace {

// The real program: one instance per session; a second start ends at once,
// silently, with exit code 0, and the first goes on.
TEST(Startup, SecondInstanceEndsSilently) {
  test::TempPrefix prefix;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  pid_t first = 0;
  char* argv[] = {const_cast<char*>(PELVAR_GUI_PATH), nullptr};
  ASSERT_EQ(posix_spawn(&first, PELVAR_GUI_PATH, nullptr, nullptr, argv, environ), 0);

  // Wait until the first instance holds the lock.
  bool held = false;
  for (int i = 0; i < 200 && !held; ++i) {
    held = platform::SingleInstanceLock::Acquire("VodEdav") == nullptr;
    if (!held)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(held);

  auto second = test::RunProcess({PELVAR_GUI_PATH});
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(second.err, "");

  int status = 0;
  EXPECT_EQ(waitpid(first, &status, WNOHANG), 0) << "the first instance ended";
  kill(first, SIGKILL);
  waitpid(first, &status, 0);
}

}  // namespace
}  // namespace pelvar::apptest
