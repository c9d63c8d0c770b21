#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "upload/Display.h"

namespace pelvar::testing {

// A Display that records everything, for tests of the engine and the run
// control. Fields are public so a test can read and preset them.
class RecordingDisplay : public upload::Display {
 public:
  // Log lines in the order appended, each exactly as given.
  std::vector<std::string> logLines;
  int clearCount = 0;
  // Current colour of each light, and every change in order.
  upload::LightColour dbStatus = upload::LightColour::kGray;       // igDbStatus
  upload::LightColour connectStatus = upload::LightColour::kGray;  // igConnectStatus
  std::vector<std::pair<upload::Light, upload::LightColour>> lightChanges;
  int sentCount = 0;  // the sent counter, "0" at start
  int remainingTime = 0;
  bool remainingTimeVisible = false;
  std::vector<int> remainingTimes;  // every value shown, in order
  std::string headerLabel;

  // Width of the log view in characters (UTF-8 code points) for the line
  // count; 0 means lines never wrap.
  int wrapWidth = 0;

  // Called after every appended line, with the line (a test can act "while
  // the operator watches", e.g. press Stop).
  std::function<void(const std::string&)> onAppend;

  void AppendLogLine(const std::string& text) override;
  void ClearLog() override;
  // Every appended text counts once per line it holds ("a\nb" counts 2), and
  // with wrapWidth set, a line counts once per displayed row.
  int LogLineCount() override;
  void SetLight(upload::Light light, upload::LightColour colour) override;
  void RaiseSentCounter() override { ++sentCount; }
  void ShowRemainingTime(int seconds) override;
  void SetRemainingTimeVisible(bool visible) override { remainingTimeVisible = visible; }
  void SetHeaderLabel(const std::string& text) override { headerLabel = text; }

  // All log lines joined with "\n", for readable failure messages.
  std::string LogText() const;
};

}  // namespace pelvar::testing
