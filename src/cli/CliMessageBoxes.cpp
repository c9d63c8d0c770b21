#include "cli/CliMessageBoxes.h"

#include <cstdio>

namespace pelvar::cli {

void CliMessageBoxes::Show(const std::string& text, const std::string& /*caption*/,
                           platform::MessageIcon /*icon*/) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace pelvar::cli
