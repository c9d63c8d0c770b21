#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "text/DateTime.h"

namespace pelvar::upload {

// The daily journal: one GBK text file per day, lines ending in CR LF,
// only ever appended to. Path: <base>/yyyyMM/yyyyMMdd.log, where the base
// folder is platform::JournalBaseFolder() (made by installation, never by
// the program) and the date is platform::Now() when the path is formed.
//
// A Journal object is one use of the journal: open, write lines, close. It
// keeps nothing between uses, so every writer may have its own.
class Journal {
 public:
  Journal() = default;
  ~Journal();  // closes as CloseJournal() does
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Creates today's month folder when missing. Only that last level is
  // created; a failure (a missing base folder, say) is ignored here and
  // surfaces when the journal is opened.
  static void EnsureJournalFolder();

  // Opens today's file for appending, creating it when missing. An open
  // journal is closed first. Throws Error with the platform's I/O message
  // naming the file; the journal is then not open. A symbolic link in place
  // of the file or its month folder is such an error: nothing is written
  // through it.
  void OpenJournal();

  // Appends text (UTF-8, written in GBK) and CR LF. The bytes are handed to
  // the system before it returns, so a full disk fails here, never later.
  // Throws Error when the write fails or the journal is not open.
  void WriteJournalLine(const std::string& text);

  // Closes the file. Never fails (nothing is held back to be written at
  // this point); does nothing when not open.
  void CloseJournal();

  bool IsOpen() const { return file_ != nullptr; }

  // The folder and file for a given date.
  static std::filesystem::path MonthFolder(const text::DateTime& date);
  static std::filesystem::path JournalFilePath(const text::DateTime& date);

 private:
  std::FILE* file_ = nullptr;  // unbuffered
  std::filesystem::path path_;
};

}  // namespace pelvar::upload
