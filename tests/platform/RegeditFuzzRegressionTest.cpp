#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/RegeditText.h"
#include "support/TempPrefix.h"
#include "text/Error.h"

namespace pelvar::platform {
namespace {

// Inputs the registry file fuzzer once failed on, kept as files: each must
// now be refused with a message naming the line, or read back unchanged
// after being written out.
TEST(RegeditFuzzRegression, SavedInputsAreRefusedByLineOrSurviveARewrite) {
  const std::filesystem::path folder = PELVAR_SOURCE_DIR "/tests/data/fuzz/regedit_text_fuzz";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++inputs;
    const std::string bytes = test::ReadFileBytes(entry.path());
    try {
      auto keys = ParseRegeditText(bytes, "machine.reg");
      auto again = ParseRegeditText(FormatRegeditText(keys), "machine.reg");
      ASSERT_EQ(again.size(), keys.size()) << entry.path();
      for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(again[i].name, keys[i].name) << entry.path();
        EXPECT_EQ(again[i].values, keys[i].values) << entry.path();
      }
    } catch (const Error& error) {
      EXPECT_EQ(
          std::string(error.what()).rfind("Registry file 'machine.reg' is malformed at line ", 0),
          0u)
          << entry.path();
    }
  }
  EXPECT_GE(inputs, 1);

  // The first finding: a value name holding bytes that are no GBK.
  const std::string first = test::ReadFileBytes(folder / "invalid-gbk-value-name");
  try {
    ParseRegeditText(first, "machine.reg");
    ADD_FAILURE() << "accepted";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(),
                 "Registry file 'machine.reg' is malformed at line 5: bytes that are not GBK text");
  }
}

}  // namespace
}  // namespace pelvar::platform
