#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "upload/Display.h"

namespace pelvar::upload {

// What the tray says about the cycles: a tooltip, and a balloon raised once
// when a cycle refuses rows with 100 or three cycles in a row fail to reach
// the server or the relay database; the same balloon comes again only after
// the situation has cleared (a cycle without refusals, a cycle that reached
// both). Keeps only what the last cycles told it.
class CycleAlerts {
 public:
  static constexpr int kUnreachableCycles = 3;

  // Takes in a finished cycle; returns the balloon text to show now, if any.
  std::optional<std::string> Observe(const CycleOutcome& outcome);

  // Title, whether uploading runs, rows pending and the last cycle's time and
  // outcome, one per line.
  std::string Tooltip(std::string_view title, bool running) const;

 private:
  std::optional<CycleOutcome> last_;
  int unreachableInARow_ = 0;
  bool refusalShown_ = false;
  bool unreachableShown_ = false;
};

}  // namespace pelvar::upload
