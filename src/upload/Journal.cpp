#include "upload/Journal.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/AppendFile.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "text/Error.h"
#include "text/Gbk.h"

namespace pelvar::upload {
namespace {

std::string Digits(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

}  // namespace

Journal::~Journal() {
  CloseJournal();
}

std::filesystem::path Journal::MonthFolder(const text::DateTime& date) {
  return platform::JournalBaseFolder() / (Digits(date.year, 4) + Digits(date.month, 2));
}

std::filesystem::path Journal::JournalFilePath(const text::DateTime& date) {
  return MonthFolder(date) /
         (Digits(date.year, 4) + Digits(date.month, 2) + Digits(date.day, 2) + ".log");
}

void Journal::EnsureJournalFolder() {
  std::error_code ignored;
  std::filesystem::create_directory(MonthFolder(platform::Now()), ignored);
}

void Journal::OpenJournal() {
  CloseJournal();
  std::filesystem::path path = JournalFilePath(platform::Now());
  std::string reason;
  // Unbuffered: every line is handed to the system by its own write, so a
  // full disk is reported by the write that meets it.
  std::FILE* file = platform::OpenFileForAppending(path, reason);
  if (file == nullptr)
    throw Error("Cannot open file \"" + path.string() + "\". " + reason);
  file_ = file;
  path_ = std::move(path);
}

void Journal::WriteJournalLine(const std::string& text) {
  if (!IsOpen())
    throw Error("File not open");
  std::string bytes = text::Utf8ToGbk(text);
  bytes += "\r\n";
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    int error = errno != 0 ? errno : EIO;
    std::clearerr(file_);
    throw Error("Cannot write file \"" + path_.string() + "\". " + std::strerror(error));
  }
}

void Journal::CloseJournal() {
  if (!IsOpen())
    return;
  std::fclose(file_);
  file_ = nullptr;
  path_.clear();
}

}  // namespace pelvar::upload
