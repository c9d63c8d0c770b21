#pragma once

#include <cstdio>
#include <string>

#include "upload/Display.h"

namespace pelvar::cli {

// The operator display of pelvar-cli. Every log line goes to standard
// output as soon as it is appended, one output line each (a line break
// inside the text becomes a blank), UTF-8, flushed. Every light change goes
// to standard error as "light db green", "light server red", ... The sent
// counter is kept as a number; the remaining time and the header label are
// printed to standard error only when verbose.
class CliDisplay : public upload::Display {
 public:
  explicit CliDisplay(bool verbose = false, std::FILE* out = stdout, std::FILE* err = stderr);

  void AppendLogLine(const std::string& text) override;
  // Forgets the lines counted; what was printed stays printed.
  void ClearLog() override;
  // Lines appended since the last clear, a text with line breaks counting
  // once per line as the log view shows it.
  int LogLineCount() override;
  void SetLight(upload::Light light, upload::LightColour colour) override;
  void RaiseSentCounter() override;
  void ShowRemainingTime(int seconds) override;
  void SetRemainingTimeVisible(bool visible) override;
  void SetHeaderLabel(const std::string& text) override;

  int SentCount() const { return sentCount_; }
  // Lines appended since the program started (clears do not count).
  int LinesAppended() const { return linesAppended_; }

 private:
  bool verbose_;
  std::FILE* out_;
  std::FILE* err_;
  int lineCount_ = 0;
  int linesAppended_ = 0;
  int sentCount_ = 0;
};

}  // namespace pelvar::cli
