#include "support/CycleTestBase.h"

#include <algorithm>
#include <filesystem>
#include <regex>

#include "text/Gbk.h"
#include "upload/UploadCycle.h"

namespace pelvar::testing {

std::string Normalised(const std::string& line) {
  static const std::regex stamp(R"(\d{4}-\d{1,2}-\d{1,2}( \d{1,2}:\d{2}:\d{2})?)");
  return std::regex_replace(line, stamp, "<ts>");
}

std::vector<std::string> Normalised(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines)
    out.push_back(Normalised(line));
  return out;
}

void CycleTestBase::SetUp() {
  PELVAR_REQUIRE_TEST_DATABASE();
  prefix_ = std::make_unique<test::TempPrefix>();
  prefix_->MakeJournalBase();
  database_ = std::make_unique<test::TestDatabase>();
  database_->Run(test::ReadFileBytes(PELVAR_SOURCE_DIR "/tests/data/relay_schema.sql"));
  database_->Run("insert into JCJG_CUSER (dwbh) values ('J01')");
  relay_.Configure(database_->MySqlParameters());
  peer_ = std::make_unique<ScriptedPeer>(server_.Script());
  profile_ = {"J01", "7", "J01", "127.0.0.1", peer_->Port(), "MySQL"};
}

bool CycleTestBase::RunCycle() {
  upload::UploadCycle cycle(relay_, link_, display_, profile_, [] {});
  return cycle.RunUploadCycle();
}

std::vector<std::string> CycleTestBase::JournalLines() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(prefix_->Path() / "var/log/pelvar")) {
    if (entry.is_regular_file())
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::string bytes;
  for (const auto& file : files)
    bytes += test::ReadFileBytes(file);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text::GbkToUtf8(bytes.substr(start, end - start)));
  }
  EXPECT_EQ(start, bytes.size()) << "journal ends without CR LF";
  return lines;
}

}  // namespace pelvar::testing
