#include "support/TempPrefix.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <system_error>

#include "text/Error.h"
#include "text/Gbk.h"

namespace pelvar::test {

TempPrefix::TempPrefix() {
  if (const char* old = std::getenv("PELVAR_PREFIX"))
    previous_ = old;
  std::string pattern = (std::filesystem::temp_directory_path() / "pelvar-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw Error("Cannot create a temporary prefix");
  path_ = pattern;
  setenv("PELVAR_PREFIX", path_.c_str(), 1);
}

TempPrefix::~TempPrefix() {
  if (previous_) {
    setenv("PELVAR_PREFIX", previous_->c_str(), 1);
  } else {
    unsetenv("PELVAR_PREFIX");
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempPrefix::MakeJournalBase() const {
  auto folder = path_ / "var/log/pelvar";
  std::filesystem::create_directories(folder);
  return folder;
}

std::filesystem::path TempPrefix::RegistryFile() const {
  return path_ / "etc/pelvar/machine.reg";
}

void TempPrefix::WriteRegistry(const std::string& utf8Text) const {
  WriteFileBytes(RegistryFile(), text::Utf8ToGbk(utf8Text));
}

std::string TempPrefix::ReadRegistryBytes() const {
  return ReadFileBytes(RegistryFile());
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out)
    throw Error("Cannot write " + path.string());
}

}  // namespace pelvar::test
