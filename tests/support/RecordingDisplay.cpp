#include "support/RecordingDisplay.h"

namespace pelvar::testing {

namespace {

int CodePoints(const std::string& text) {
  int count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80)
      ++count;
  }
  return count;
}

int Rows(const std::string& line, int wrapWidth) {
  if (wrapWidth <= 0)
    return 1;
  int length = CodePoints(line);
  return length == 0 ? 1 : (length + wrapWidth - 1) / wrapWidth;
}

}  // namespace

void RecordingDisplay::AppendLogLine(const std::string& text) {
  logLines.push_back(text);
  if (onAppend)
    onAppend(text);
}

void RecordingDisplay::ClearLog() {
  logLines.clear();
  ++clearCount;
}

int RecordingDisplay::LogLineCount() {
  int count = 0;
  for (const std::string& text : logLines) {
    std::size_t begin = 0;
    for (;;) {
      std::size_t end = text.find('\n', begin);
      std::string line =
          text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      count += Rows(line, wrapWidth);
      if (end == std::string::npos)
        break;
      begin = end + 1;
    }
  }
  return count;
}

void RecordingDisplay::SetLight(upload::Light light, upload::LightColour colour) {
  (light == upload::Light::kRelayDatabase ? dbStatus : connectStatus) = colour;
  lightChanges.emplace_back(light, colour);
}

void RecordingDisplay::ShowRemainingTime(int seconds) {
  remainingTime = seconds;
  remainingTimes.push_back(seconds);
}

std::string RecordingDisplay::LogText() const {
  std::string all;
  for (const std::string& line : logLines) {
    if (!all.empty())
      all += '\n';
    all += line;
  }
  return all;
}

}  // namespace pelvar::testing
