#pragma once

#include <string_view>

#include "text/Strings.h"

namespace pelvar::upload {

// The keywords of the supervision server's line protocol, shared by the
// upload engine and the reference server. Trailing blanks belong to them.
// Sent by the server, recognised as a whole line:
inline constexpr std::string_view kGreeting = "ZQJCJGSITE2";
inline constexpr std::string_view kReady = "ZQJCJGBUSK";
inline constexpr std::string_view kAccepted = "ZQJCJGOK";
inline constexpr std::string_view kNoticeAccepted = "ZQJCJG_STARSTOP_OK";
// Sent by the server, recognised by prefix in any case, + message or time:
inline constexpr std::string_view kRejected = "ZQJCJGERROR ";
inline constexpr std::string_view kGuidAccepted = "ZQJCJGGUIDOK ";
inline constexpr std::string_view kGuidRefused = "ZQJCJGGUIDERROR ";
// Sent by the client: + row count; + agency number " " action text; + agency
// number " " GUID text.
inline constexpr std::string_view kAnnounce = "ZQJCJGSEND ";
inline constexpr std::string_view kNotice = "ZQJCJG_STARSTOP ";
inline constexpr std::string_view kGuid = "ZQJCJGGUID ";

// A reply line (terminator removed) recognised as a whole line: equal to the
// keyword byte for byte, case included.
inline bool MatchesWholeLine(std::string_view line, std::string_view keyword) {
  return line == keyword;
}

// A reply line recognised by its prefix: at least as long as the keyword and
// starting with it, ASCII letters compared without regard to case.
inline bool MatchesPrefixAnyCase(std::string_view line, std::string_view keyword) {
  return text::StartsWithNoCase(line, keyword);
}

}  // namespace pelvar::upload
