#pragma once

#include <string_view>

#include "text/Strings.h"

namespace pelvar::upload {

// The keywords of the supervision server's line protocol, shared by the
// upload engine and the reference server. Trailing blanks belong to them.
inline constexpr std::string_view kGreeting = "ZQJCJGSITE2";             // server, whole line
inline constexpr std::string_view kAnnounce = "ZQJCJGSEND ";             // client, + row count
inline constexpr std::string_view kReady = "ZQJCJGBUSK";                 // server, whole line
inline constexpr std::string_view kAccepted = "ZQJCJGOK";                // server, whole line
inline constexpr std::string_view kRejected = "ZQJCJGERROR ";            // server, prefix any case
inline constexpr std::string_view kNotice = "ZQJCJG_STARSTOP ";          // client, + agency + action
inline constexpr std::string_view kNoticeAccepted = "ZQJCJG_STARSTOP_OK";  // server, whole line
inline constexpr std::string_view kGuid = "ZQJCJGGUID ";                 // client, + agency + GUID
inline constexpr std::string_view kGuidAccepted = "ZQJCJGGUIDOK ";       // server, prefix any case
inline constexpr std::string_view kGuidRefused = "ZQJCJGGUIDERROR ";     // server, prefix any case

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
