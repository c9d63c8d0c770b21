#pragma once

#include <filesystem>
#include <string>

#include "support/TempPrefix.h"

// A temporary machine prefix for the link and journal tests: a TempPrefix
// with the journal base folder, as installation makes it, unless told not to.
class LinkTestPrefix {
 public:
  explicit LinkTestPrefix(bool withJournalBase = true) {
    if (withJournalBase)
      prefix_.MakeJournalBase();
  }

  const std::filesystem::path& Root() const { return prefix_.Path(); }

  // The whole file as bytes; "" when it does not exist.
  static std::string ReadBytes(const std::filesystem::path& path) {
    return pelvar::test::ReadFileBytes(path);
  }

 private:
  pelvar::test::TempPrefix prefix_;
};
