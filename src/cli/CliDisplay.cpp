#include "cli/CliDisplay.h"

namespace pelvar::cli {
namespace {

const char* LightName(upload::Light light) {
  return light == upload::Light::kRelayDatabase ? "db" : "server";
}

const char* ColourName(upload::LightColour colour) {
  switch (colour) {
    case upload::LightColour::kGray:
      return "gray";
    case upload::LightColour::kGreen:
      return "green";
    case upload::LightColour::kRed:
      return "red";
  }
  return "?";
}

}  // namespace

CliDisplay::CliDisplay(bool verbose, std::FILE* out, std::FILE* err)
    : verbose_(verbose), out_(out), err_(err) {}

void CliDisplay::AppendLogLine(const std::string& text) {
  std::string line;
  line.reserve(text.size() + 1);
  int lines = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      // CR LF, a lone CR and a lone LF are each one line break.
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
      line += ' ';
      ++lines;
    } else {
      line += c;
    }
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  lineCount_ += lines;
  ++linesAppended_;
}

void CliDisplay::ClearLog() {
  lineCount_ = 0;
}

int CliDisplay::LogLineCount() {
  return lineCount_;
}

void CliDisplay::SetLight(upload::Light light, upload::LightColour colour) {
  std::fprintf(err_, "light %s %s\n", LightName(light), ColourName(colour));
  std::fflush(err_);
}

void CliDisplay::RaiseSentCounter() {
  ++sentCount_;
}

void CliDisplay::ShowRemainingTime(int seconds) {
  if (!verbose_)
    return;
  std::fprintf(err_, "remaining %d\n", seconds);
  std::fflush(err_);
}

void CliDisplay::SetRemainingTimeVisible(bool /*visible*/) {}

void CliDisplay::SetHeaderLabel(const std::string& text) {
  if (!verbose_)
    return;
  std::fprintf(err_, "header %s\n", text.c_str());
  std::fflush(err_);
}

}  // namespace pelvar::cli
