#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// A temporary machine prefix for the link and journal tests: PELVAR_PREFIX
// points at a fresh folder (with the journal base folder, as installation
// makes it) for the object's lifetime; the folder is removed afterwards.
class LinkTestPrefix {
 public:
  explicit LinkTestPrefix(bool withJournalBase = true) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelvar-link-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    if (const char* old = std::getenv("PELVAR_PREFIX"))
      saved_ = old, hadSaved_ = true;
    ::setenv("PELVAR_PREFIX", root_.c_str(), 1);
    if (withJournalBase)
      std::filesystem::create_directories(root_ / "var/log/pelvar");
  }
  ~LinkTestPrefix() {
    if (hadSaved_)
      ::setenv("PELVAR_PREFIX", saved_.c_str(), 1);
    else
      ::unsetenv("PELVAR_PREFIX");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  LinkTestPrefix(const LinkTestPrefix&) = delete;
  LinkTestPrefix& operator=(const LinkTestPrefix&) = delete;

  const std::filesystem::path& Root() const { return root_; }

  // The whole file as bytes; "" when it does not exist.
  static std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path root_;
  std::string saved_;
  bool hadSaved_ = false;
};
