#include "platform/RegeditText.h"

#include <cstddef>
#include <cstdint>
#include <optional>

#include "text/Error.h"
#include "text/Gbk.h"
#include "text/Strings.h"

namespace pelvar::platform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";

struct Line {
  std::size_t number;
  std::string text;  // UTF-8, without its line end and trailing blanks
  bool gbk;          // the line's bytes were GBK text throughout
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

// GBK never uses CR or LF as a trail byte, so the lines can be cut before
// they are converted; each line is converted on its own.
std::vector<Line> SplitLines(std::string_view gbk) {
  std::vector<Line> lines;
  std::size_t start = 0;
  std::size_t number = 1;
  while (start < gbk.size()) {
    std::size_t end = gbk.find('\n', start);
    std::string_view raw = gbk.substr(start, end == std::string_view::npos ? end : end - start);
    if (!raw.empty() && raw.back() == '\r')
      raw.remove_suffix(1);
    std::string utf8 = text::GbkToUtf8(raw);
    while (!utf8.empty() && IsBlank(utf8.back()))
      utf8.pop_back();
    lines.push_back({number++, std::move(utf8), text::IsValidGbk(raw)});
    if (end == std::string_view::npos)
      break;
    start = end + 1;
  }
  return lines;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// A number of one to eight hexadecimal digits.
std::optional<std::uint32_t> ParseHexNumber(std::string_view s) {
  if (s.empty() || s.size() > 8)
    return std::nullopt;
  std::uint32_t n = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0)
      return std::nullopt;
    n = (n << 4) | static_cast<std::uint32_t>(d);
  }
  return n;
}

class Parser {
 public:
  Parser(std::string_view gbk, const std::string& fileName)
      : lines_(SplitLines(gbk)), fileName_(fileName) {}

  std::vector<RegeditKey> Run() {
    if (lines_.empty())
      return {};
    if (lines_[0].text != kHeader)
      Fail(lines_[0].number, "the first line is not REGEDIT4");
    RegeditKey* key = nullptr;
    for (next_ = 1; next_ < lines_.size();) {
      const Line& line = lines_[next_++];
      std::string_view s = line.text;
      std::size_t indent = 0;
      while (indent < s.size() && IsBlank(s[indent]))
        ++indent;
      s.remove_prefix(indent);
      if (s.empty() || s.front() == ';')
        continue;
      // Bytes that are no GBK would read as replacement characters and be
      // written back as "?": refuse them rather than change a name or text.
      if (!line.gbk)
        Fail(line.number, "bytes that are not GBK text");
      if (s.front() == '[') {
        key = &Section(line.number, s);
      } else if (s.front() == '"' || s.front() == '@') {
        if (key == nullptr)
          Fail(line.number, "a value before the first key");
        Value(line.number, s, *key);
      } else {
        Fail(line.number, "neither a key nor a value");
      }
    }
    return std::move(keys_);
  }

 private:
  [[noreturn]] void Fail(std::size_t number, const std::string& detail) const {
    throw Error("Registry file '" + fileName_ + "' is malformed at line " + std::to_string(number) +
                ": " + detail);
  }

  RegeditKey& Section(std::size_t number, std::string_view s) {
    if (s.back() != ']')
      Fail(number, "a key line without its closing bracket");
    std::string_view name = s.substr(1, s.size() - 2);
    if (!name.empty() && name.front() == '-')
      Fail(number, "key deletions are not kept here");
    if (name.empty() || name.front() == '\\' || name.back() == '\\' ||
        name.find("\\\\") != std::string_view::npos) {
      Fail(number, "a malformed key name");
    }
    for (auto& key : keys_) {
      if (text::EqualsNoCase(key.name, name))
        return key;
    }
    keys_.push_back({std::string(name), {}});
    return keys_.back();
  }

  // A quoted text starting at s[pos], in which only \\ and \" are escapes.
  std::string Quoted(std::size_t number, std::string_view s, std::size_t& pos) const {
    std::string out;
    ++pos;
    while (pos < s.size()) {
      char c = s[pos];
      if (c == '"') {
        ++pos;
        return out;
      }
      if (c == '\\') {
        if (pos + 1 >= s.size())
          break;
        char escaped = s[pos + 1];
        if (escaped != '\\' && escaped != '"')
          Fail(number, "an unknown escape in a quoted text");
        out += escaped;
        pos += 2;
        continue;
      }
      out += c;
      ++pos;
    }
    Fail(number, "a quoted text without its closing quote");
  }

  void Value(std::size_t number, std::string_view s, RegeditKey& key) {
    std::size_t pos = 0;
    std::string name;
    if (s.front() == '@') {
      pos = 1;
    } else {
      name = Quoted(number, s, pos);
    }
    while (pos < s.size() && IsBlank(s[pos]))
      ++pos;
    if (pos >= s.size() || s[pos] != '=')
      Fail(number, "a value name not followed by \"=\"");
    ++pos;
    while (pos < s.size() && IsBlank(s[pos]))
      ++pos;
    std::string_view rest = s.substr(pos);

    RegValue value;
    if (!rest.empty() && rest.front() == '"') {
      std::size_t at = 0;
      std::string utf8 = Quoted(number, rest, at);
      if (at != rest.size())
        Fail(number, "text after the closing quote");
      value = RegValue::Text(utf8);
    } else if (text::StartsWithNoCase(rest, "dword:")) {
      auto n = ParseHexNumber(rest.substr(6));
      if (!n)
        Fail(number, "a dword that is not one to eight hexadecimal digits");
      value.type = RegType::kDword;
      for (int i = 0; i < 4; ++i)
        value.data += static_cast<char>((*n >> (8 * i)) & 0xFF);
    } else if (text::StartsWithNoCase(rest, "hex")) {
      value = Hex(number, rest);
    } else if (rest == "-") {
      Fail(number, "value deletions are not kept here");
    } else {
      Fail(number, "value data of an unknown form");
    }

    for (auto& [existing, data] : key.values) {
      if (text::EqualsNoCase(existing, name)) {
        data = std::move(value);
        return;
      }
    }
    key.values.emplace_back(std::move(name), std::move(value));
  }

  // "hex:" or "hex(N):" and a comma-separated byte list; a list ending in a
  // backslash goes on in the next line.
  RegValue Hex(std::size_t number, std::string_view rest) {
    RegValue value;
    std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos)
      Fail(number, "a hex value without \":\"");
    std::string_view kind = rest.substr(3, colon - 3);
    if (kind.empty()) {
      value.type = RegType::kBinary;
    } else {
      std::optional<std::uint32_t> type;
      if (kind.size() >= 3 && kind.front() == '(' && kind.back() == ')') {
        type = ParseHexNumber(kind.substr(1, kind.size() - 2));
      }
      if (!type)
        Fail(number, "a malformed hex(type)");
      value.type = static_cast<RegType>(*type);
    }

    std::string list(rest.substr(colon + 1));
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      if (next_ >= lines_.size())
        Fail(number, "a continued hex list at the end of the file");
      list += lines_[next_++].text;
    }
    std::string_view bytes = TrimBlanks(list);
    while (!bytes.empty()) {
      std::size_t comma = bytes.find(',');
      std::string_view item = TrimBlanks(bytes.substr(0, comma));
      auto byte = ParseHexNumber(item);
      if (!byte || item.size() > 2)
        Fail(number, "a hex byte that is not two hexadecimal digits");
      value.data += static_cast<char>(*byte);
      if (comma == std::string_view::npos)
        break;
      bytes = TrimBlanks(bytes.substr(comma + 1));
      if (bytes.empty())
        Fail(number, "a hex list ending in a comma");
    }
    return value;
  }

  std::vector<Line> lines_;
  const std::string& fileName_;
  std::vector<RegeditKey> keys_;
  std::size_t next_ = 0;
};

std::string Escaped(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '\\' || c == '"')
      out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// A REG_SZ is written as a quoted text only when that reads back as the same
// bytes: valid GBK with one terminating zero and no line break inside.
bool FitsQuotedText(const RegValue& value) {
  if (value.type != RegType::kSz || value.data.empty() || value.data.back() != '\0')
    return false;
  std::string_view body(value.data.data(), value.data.size() - 1);
  return body.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
         text::IsValidGbk(body);
}

constexpr char kHexDigits[] = "0123456789abcdef";

std::string HexValue(std::string line, const RegValue& value) {
  if (value.type == RegType::kBinary) {
    line += "hex:";
  } else {
    std::string type;
    auto n = static_cast<std::uint32_t>(value.type);
    do {
      type.insert(type.begin(), kHexDigits[n & 0xF]);
      n >>= 4;
    } while (n != 0);
    line += "hex(" + type + "):";
  }
  // Like regedit, keep lines within 80 columns by continuing after a comma.
  std::size_t column = line.size();
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    auto byte = static_cast<unsigned char>(value.data[i]);
    std::string item{kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    if (i + 1 < value.data.size())
      item += ',';
    if (i > 0 && column + item.size() > 77) {
      line += "\\\r\n  ";
      column = 2;
    }
    line += item;
    column += item.size();
  }
  return line;
}

std::string FormatValue(const std::string& name, const RegValue& value) {
  std::string line = (name.empty() ? std::string("@") : Escaped(name)) + "=";
  if (FitsQuotedText(value)) {
    return line +
           Escaped(text::GbkToUtf8(std::string_view(value.data).substr(0, value.data.size() - 1)));
  }
  if (value.type == RegType::kDword && value.data.size() == 4) {
    std::uint32_t n = static_cast<std::uint32_t>(value.AsNumber());
    std::string digits(8, '0');
    for (int i = 7; i >= 0; --i, n >>= 4)
      digits[static_cast<std::size_t>(i)] = kHexDigits[n & 0xF];
    return line + "dword:" + digits;
  }
  return HexValue(std::move(line), value);
}

}  // namespace

std::vector<RegeditKey> ParseRegeditText(std::string_view gbk, const std::string& fileName) {
  return Parser(gbk, fileName).Run();
}

std::string FormatRegeditText(const std::vector<RegeditKey>& keys) {
  std::string out = std::string(kHeader) + "\r\n\r\n";
  for (const auto& key : keys) {
    out += "[" + key.name + "]\r\n";
    for (const auto& [name, value] : key.values)
      out += FormatValue(name, value) + "\r\n";
    out += "\r\n";
  }
  return text::Utf8ToGbk(out);
}

}  // namespace pelvar::platform
