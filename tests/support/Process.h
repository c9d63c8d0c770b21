#pragma once

#include <string>
#include <vector>

namespace pelvar::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;    // everything written to standard output
  std::string err;    // everything written to standard error
};

// Runs argv[0] (a path) with the given arguments and the current
// environment (so a TempPrefix applies), feeds it input on standard input,
// waits for it and collects both output streams.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = {});

}  // namespace pelvar::test
