#pragma once

#include <QApplication>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "console/InputBox.h"
#include "platform/MessageBox.h"
#include "text/DateTime.h"

namespace pelvar::apptest {

// The temporary machine prefix the whole test program runs under; the clock
// offset and settings of the tests live there, never on the real machine.
std::filesystem::path TestPrefix();

// Sets the emulated machine's clock (an offset kept in the test prefix).
void SetMachineClock(const text::DateTime& value);

struct ShownBox {
  std::string text;
  std::string caption;
  platform::MessageIcon icon;
};

class RecordingBoxes : public platform::MessageBoxes {
 public:
  void Show(const std::string& text, const std::string& caption,
            platform::MessageIcon icon) override {
    shown.push_back({text, caption, icon});
  }
  std::vector<ShownBox> shown;
};

struct AskedInput {
  std::string caption;
  std::string prompt;
};

// Answers every input box with answer() and records what was asked.
class AnsweringInputBoxes : public console::InputBoxes {
 public:
  std::string InputBox(const std::string& caption, const std::string& prompt) override {
    asked.push_back({caption, prompt});
    return answer ? answer() : std::string();
  }
  std::function<std::string()> answer;
  std::vector<AskedInput> asked;
};

}  // namespace pelvar::apptest
