#include "AppTestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QByteArray>

#include "platform/Clock.h"
#include "platform/Paths.h"

namespace pelvar::apptest {
namespace {

std::filesystem::path& PrefixPath() {
  static std::filesystem::path path;
  return path;
}

// One QApplication for the whole program, on the offscreen platform unless
// the caller chose another (the screenshot script runs under Xvfb), and a
// temporary machine prefix so that nothing touches the real machine.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
      qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string pattern = (std::filesystem::temp_directory_path() / "pelvar-app-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    ASSERT_NE(made, nullptr);
    PrefixPath() = made;
    setenv("PELVAR_PREFIX", made, 1);
    ASSERT_FALSE(platform::IsRealMachine());
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    application_ = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override {
    delete application_;
    application_ = nullptr;
    std::error_code ec;
    std::filesystem::remove_all(PrefixPath(), ec);
  }

 private:
  QApplication* application_ = nullptr;
};

[[maybe_unused]] auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

std::filesystem::path TestPrefix() {
  return PrefixPath();
}

void SetMachineClock(const text::DateTime& value) {
  // Guard against ever setting the real clock from a test.
  ASSERT_FALSE(platform::IsRealMachine());
  platform::SetLocalTime(value);
}

}  // namespace pelvar::apptest
