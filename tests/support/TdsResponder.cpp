#include "support/TdsResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "db/Utf16.h"
#include "text/Gbk.h"
#include "text/Strings.h"

namespace pelvar::testing {
namespace {

// Chinese_PRC_CI_AS: LCID 0x0804, case and kana/width insensitive.
constexpr char kChineseCollation[5] = {0x04, 0x08, static_cast<char>(0xD0), 0x00, 0x00};
constexpr std::size_t kPacketSize = 4096;

void PutU8(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
}
void PutU16(std::string& out, unsigned value) {
  PutU8(out, value);
  PutU8(out, value >> 8);
}
void PutU32(std::string& out, std::uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}
void PutU64(std::string& out, std::uint64_t value) {
  PutU32(out, static_cast<std::uint32_t>(value));
  PutU32(out, static_cast<std::uint32_t>(value >> 32));
}
void PutLittle(std::string& out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i, value >>= 8)
    PutU8(out, static_cast<unsigned>(value & 0xFF));
}

std::string Ucs2(std::string_view utf8) {
  std::u16string wide = db::Utf8ToUtf16(utf8);
  std::string out;
  for (char16_t c : wide)
    PutU16(out, c);
  return out;
}
void PutBVarChar(std::string& out, std::string_view utf8) {
  std::string wide = Ucs2(utf8);
  PutU8(out, static_cast<unsigned>(wide.size() / 2));
  out += wide;
}
void PutUsVarChar(std::string& out, std::string_view utf8) {
  std::string wide = Ucs2(utf8);
  PutU16(out, static_cast<unsigned>(wide.size() / 2));
  out += wide;
}

std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Moment {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  std::string fraction;  // the digits after the point
  std::int64_t Seconds() const { return hour * 3600 + minute * 60 + second; }
  // The fraction in units of 10^-scale s.
  std::uint64_t Fraction(int scale) const {
    std::string digits = fraction.substr(0, static_cast<std::size_t>(scale));
    digits.resize(static_cast<std::size_t>(scale), '0');
    return digits.empty() ? 0 : std::stoull(digits);
  }
};

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS[.f]" or, timeOnly, "HH:MM:SS[.f]".
Moment ParseMoment(const std::string& value, bool timeOnly) {
  Moment m;
  std::string rest = value;
  if (!timeOnly) {
    if (std::sscanf(value.c_str(), "%d-%d-%d", &m.year, &m.month, &m.day) != 3)
      throw std::invalid_argument("not a date: " + value);
    std::size_t blank = value.find(' ');
    rest = blank == std::string::npos ? "" : value.substr(blank + 1);
  }
  if (!rest.empty()) {
    if (std::sscanf(rest.c_str(), "%d:%d:%d", &m.hour, &m.minute, &m.second) != 3)
      throw std::invalid_argument("not a time: " + value);
    std::size_t point = rest.find('.');
    if (point != std::string::npos)
      m.fraction = rest.substr(point + 1);
  }
  return m;
}

std::size_t TimeBytes(int scale) {
  return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}
std::size_t DecimalBytes(int precision) {
  return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

void PutTime(std::string& out, const Moment& m, int scale) {
  std::uint64_t units = static_cast<std::uint64_t>(m.Seconds());
  for (int i = 0; i < scale; ++i)
    units *= 10;
  PutLittle(out, units + m.Fraction(scale), TimeBytes(scale));
}
void PutDate(std::string& out, const Moment& m) {
  std::int64_t days =
      DaysFromCivil(m.year, static_cast<unsigned>(m.month), static_cast<unsigned>(m.day)) -
      DaysFromCivil(1, 1, 1);
  PutLittle(out, static_cast<std::uint64_t>(days), 3);
}

void PutTypeInfo(std::string& out, const TdsColumn& column) {
  switch (column.type) {
    case TdsType::kTinyInt:
      return PutU8(out, 0x26), PutU8(out, 1);
    case TdsType::kSmallInt:
      return PutU8(out, 0x26), PutU8(out, 2);
    case TdsType::kInt:
      return PutU8(out, 0x26), PutU8(out, 4);
    case TdsType::kBigInt:
      return PutU8(out, 0x26), PutU8(out, 8);
    case TdsType::kBit:
      return PutU8(out, 0x68), PutU8(out, 1);
    case TdsType::kDecimal:
      PutU8(out, 0x6A);
      PutU8(out, static_cast<unsigned>(DecimalBytes(column.precision)));
      PutU8(out, static_cast<unsigned>(column.precision));
      return PutU8(out, static_cast<unsigned>(column.scale));
    case TdsType::kReal:
      return PutU8(out, 0x6D), PutU8(out, 4);
    case TdsType::kFloat:
      return PutU8(out, 0x6D), PutU8(out, 8);
    case TdsType::kMoney:
      return PutU8(out, 0x6E), PutU8(out, 8);
    case TdsType::kDate:
      return PutU8(out, 0x28);
    case TdsType::kTime:
      return PutU8(out, 0x29), PutU8(out, static_cast<unsigned>(column.scale));
    case TdsType::kDateTime:
      return PutU8(out, 0x6F), PutU8(out, 8);
    case TdsType::kDateTime2:
      return PutU8(out, 0x2A), PutU8(out, static_cast<unsigned>(column.scale));
    case TdsType::kVarChar:
      PutU8(out, 0xA7);
      PutU16(out, 8000);
      return out.append(kChineseCollation, 5), void();
    case TdsType::kNVarChar:
      PutU8(out, 0xE7);
      PutU16(out, 8000);
      return out.append(kChineseCollation, 5), void();
    case TdsType::kNText:
      PutU8(out, 0x63);
      PutU32(out, 0x7FFFFFFE);
      out.append(kChineseCollation, 5);
      PutU8(out, 1);  // table name in one part
      return PutUsVarChar(out, "t");
    case TdsType::kVarBinary:
      return PutU8(out, 0xA5), PutU16(out, 8000);
  }
}

void PutValue(std::string& out, const TdsColumn& column, const TdsValue& value) {
  bool varLength = column.type == TdsType::kVarChar || column.type == TdsType::kNVarChar ||
                   column.type == TdsType::kVarBinary;
  if (!value) {
    if (varLength)
      return PutU16(out, 0xFFFF);
    return PutU8(out, 0);  // a zero length, or an empty text pointer for ntext
  }
  const std::string& v = *value;
  switch (column.type) {
    case TdsType::kTinyInt:
      return PutU8(out, 1), PutLittle(out, static_cast<std::uint64_t>(std::stoll(v)), 1);
    case TdsType::kSmallInt:
      return PutU8(out, 2), PutLittle(out, static_cast<std::uint64_t>(std::stoll(v)), 2);
    case TdsType::kInt:
      return PutU8(out, 4), PutLittle(out, static_cast<std::uint64_t>(std::stoll(v)), 4);
    case TdsType::kBigInt:
      return PutU8(out, 8), PutLittle(out, static_cast<std::uint64_t>(std::stoll(v)), 8);
    case TdsType::kBit:
      return PutU8(out, 1), PutU8(out, v == "1" ? 1 : 0);
    case TdsType::kDecimal: {
      bool negative = v.starts_with('-');
      std::string whole = v.substr(negative ? 1 : 0);
      std::size_t point = whole.find('.');
      std::string fraction = point == std::string::npos ? "" : whole.substr(point + 1);
      whole = whole.substr(0, point);
      std::uint64_t magnitude = 0;
      // the whole digits, then exactly scale fraction digits
      fraction = fraction.substr(0, static_cast<std::size_t>(column.scale));
      fraction.resize(static_cast<std::size_t>(column.scale), '0');
      for (char c : whole + fraction)
        magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
      std::size_t bytes = DecimalBytes(column.precision);
      PutU8(out, static_cast<unsigned>(bytes));
      PutU8(out, negative ? 0 : 1);
      return PutLittle(out, magnitude, bytes - 1);
    }
    case TdsType::kReal: {
      float f = std::stof(v);
      std::uint32_t bits;
      std::memcpy(&bits, &f, 4);
      return PutU8(out, 4), PutU32(out, bits);
    }
    case TdsType::kFloat: {
      double d = std::stod(v);
      std::uint64_t bits;
      std::memcpy(&bits, &d, 8);
      return PutU8(out, 8), PutU64(out, bits);
    }
    case TdsType::kMoney: {
      auto units = static_cast<std::int64_t>(std::llround(std::stod(v) * 10000));
      auto raw = static_cast<std::uint64_t>(units);
      PutU8(out, 8);
      PutU32(out, static_cast<std::uint32_t>(raw >> 32));
      return PutU32(out, static_cast<std::uint32_t>(raw));
    }
    case TdsType::kDate:
      return PutU8(out, 3), PutDate(out, ParseMoment(v, false));
    case TdsType::kTime:
      PutU8(out, static_cast<unsigned>(TimeBytes(column.scale)));
      return PutTime(out, ParseMoment(v, true), column.scale);
    case TdsType::kDateTime: {
      Moment m = ParseMoment(v, false);
      std::int64_t days =
          DaysFromCivil(m.year, static_cast<unsigned>(m.month), static_cast<unsigned>(m.day)) -
          DaysFromCivil(1900, 1, 1);
      std::uint64_t ticks =
          static_cast<std::uint64_t>(m.Seconds()) * 300 + (m.Fraction(3) * 3 + 5) / 10;
      PutU8(out, 8);
      PutU32(out, static_cast<std::uint32_t>(days));
      return PutU32(out, static_cast<std::uint32_t>(ticks));
    }
    case TdsType::kDateTime2: {
      Moment m = ParseMoment(v, false);
      PutU8(out, static_cast<unsigned>(TimeBytes(column.scale) + 3));
      PutTime(out, m, column.scale);
      return PutDate(out, m);
    }
    case TdsType::kVarChar: {
      std::string gbk = text::Utf8ToGbk(v);
      PutU16(out, static_cast<unsigned>(gbk.size()));
      return out.append(gbk), void();
    }
    case TdsType::kNVarChar: {
      std::string wide = Ucs2(v);
      PutU16(out, static_cast<unsigned>(wide.size()));
      return out.append(wide), void();
    }
    case TdsType::kNText: {
      std::string wide = Ucs2(v);
      PutU8(out, 16);
      out.append(16, '\x01');  // text pointer
      out.append(8, '\0');     // time stamp
      PutU32(out, static_cast<std::uint32_t>(wide.size()));
      return out.append(wide), void();
    }
    case TdsType::kVarBinary:
      PutU16(out, static_cast<unsigned>(v.size()));
      return out.append(v), void();
  }
}

bool ReadExact(int socket, char* data, std::size_t size) {
  while (size > 0) {
    ssize_t got = ::recv(socket, data, size, 0);
    if (got <= 0)
      return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// One whole message (its packets joined): type and payload.
bool ReadMessage(int socket, std::uint8_t& type, std::string& payload) {
  payload.clear();
  for (;;) {
    unsigned char header[8];
    if (!ReadExact(socket, reinterpret_cast<char*>(header), 8))
      return false;
    std::size_t length = (static_cast<std::size_t>(header[2]) << 8) | header[3];
    if (length < 8)
      return false;
    std::string body(length - 8, '\0');
    if (!ReadExact(socket, body.data(), body.size()))
      return false;
    type = header[0];
    payload += body;
    if (header[1] & 0x01)
      return true;
  }
}

void SendMessage(int socket, std::uint8_t type, const std::string& payload) {
  std::size_t offset = 0;
  std::uint8_t packetId = 1;
  do {
    std::size_t chunk = std::min(payload.size() - offset, kPacketSize - 8);
    bool last = offset + chunk == payload.size();
    std::string packet;
    PutU8(packet, type);
    PutU8(packet, last ? 1 : 0);
    packet.push_back(static_cast<char>((chunk + 8) >> 8));
    packet.push_back(static_cast<char>((chunk + 8) & 0xFF));
    PutU16(packet, 0);
    PutU8(packet, packetId++);
    PutU8(packet, 0);
    packet.append(payload, offset, chunk);
    if (::send(socket, packet.data(), packet.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(packet.size())) {
      return;
    }
    offset += chunk;
  } while (offset < payload.size());
}

unsigned U16At(const std::string& data, std::size_t at) {
  return static_cast<unsigned char>(data[at]) | (static_cast<unsigned char>(data[at + 1]) << 8);
}

std::string Utf8OfUcs2(std::string_view bytes) {
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return db::Utf16ToUtf8(wide);
}

// A login field by its offset/length pair at position at.
std::string LoginField(const std::string& login, std::size_t at, bool password) {
  std::size_t offset = U16At(login, at);
  std::size_t chars = U16At(login, at + 2);
  if (offset + chars * 2 > login.size())
    return {};
  std::string bytes = login.substr(offset, chars * 2);
  if (password) {
    for (char& c : bytes) {
      auto b = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ 0xA5);
      c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
    }
  }
  return Utf8OfUcs2(bytes);
}

std::string EnvChange(unsigned type, std::string_view newValue, std::string_view oldValue) {
  std::string body;
  PutU8(body, type);
  PutBVarChar(body, newValue);
  PutBVarChar(body, oldValue);
  std::string out;
  PutU8(out, 0xE3);
  PutU16(out, static_cast<unsigned>(body.size()));
  return out + body;
}

}  // namespace

TdsReply& TdsReply::Columns(std::vector<TdsColumn> columns) {
  columns_ = std::move(columns);
  PutU8(bytes_, 0x81);
  PutU16(bytes_, static_cast<unsigned>(columns_.size()));
  for (const TdsColumn& column : columns_) {
    PutU32(bytes_, 0);
    PutU16(bytes_, 0x0009);  // nullable, updatable
    PutTypeInfo(bytes_, column);
    PutBVarChar(bytes_, column.name);
  }
  return *this;
}

TdsReply& TdsReply::Row(const std::vector<TdsValue>& values) {
  if (values.size() != columns_.size())
    throw std::invalid_argument("a row needs one value per column");
  PutU8(bytes_, 0xD1);
  for (std::size_t i = 0; i < values.size(); ++i)
    PutValue(bytes_, columns_[i], values[i]);
  return *this;
}

TdsReply& TdsReply::Done(std::optional<std::int64_t> count, bool more, std::uint8_t token,
                         std::uint16_t extraStatus) {
  dones_.push_back(bytes_.size());
  PutU8(bytes_, token);
  PutU16(bytes_, (count ? kCount : 0) | (more ? kMore : 0) | extraStatus);
  PutU16(bytes_, columns_.empty() ? 0xC3 : 0xC1);  // current command: insert/select
  PutU64(bytes_, static_cast<std::uint64_t>(count.value_or(0)));
  return *this;
}

std::string TdsReply::WithoutCounts() const {
  std::string out = bytes_;
  for (std::size_t at : dones_)
    out[at + 1] = static_cast<char>(out[at + 1] & ~kCount);
  return out;
}

TdsReply& TdsReply::Error(int number, std::string_view message, int severity) {
  std::string body;
  PutU32(body, static_cast<std::uint32_t>(number));
  PutU8(body, 1);  // state
  PutU8(body, static_cast<unsigned>(severity));
  PutUsVarChar(body, message);
  PutBVarChar(body, "RESPONDER");
  PutBVarChar(body, "");
  PutU32(body, 1);
  PutU8(bytes_, 0xAA);
  PutU16(bytes_, static_cast<unsigned>(body.size()));
  bytes_ += body;
  return *this;
}

TdsReply& TdsReply::Failure(int number, std::string_view message) {
  return Error(number, message).Done(std::nullopt, false, 0xFD, kError);
}

TdsResponder::TdsResponder() {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("the TDS responder cannot listen");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TdsResponder::~TdsResponder() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int socket : open_)
      ::shutdown(socket, SHUT_RDWR);
  }
  ::shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  ::close(listener_);
  for (std::thread& thread : threads_)
    thread.join();
}

void TdsResponder::AcceptLoop() {
  for (;;) {
    int socket = ::accept(listener_, nullptr, nullptr);
    std::lock_guard lock(mutex_);
    if (stopping_) {
      if (socket >= 0)
        ::close(socket);
      return;
    }
    if (socket < 0)
      continue;
    open_.push_back(socket);
    threads_.emplace_back([this, socket] { Serve(socket); });
  }
}

void TdsResponder::Serve(int socket) {
  std::uint8_t type = 0;
  std::string payload;
  std::uint8_t offered = 0xFF;
  bool noCount = false;
  {
    std::lock_guard lock(mutex_);
    noCount = noCountByDefault_;
  }
  while (ReadMessage(socket, type, payload)) {
    std::string reply;
    if (type == 0x12) {  // pre-login
      for (std::size_t at = 0; at + 5 <= payload.size() && payload[at] != '\xFF'; at += 5) {
        if (payload[at] == 0x01) {
          std::size_t offset = (static_cast<unsigned char>(payload[at + 1]) << 8) |
                               static_cast<unsigned char>(payload[at + 2]);
          if (offset < payload.size())
            offered = static_cast<std::uint8_t>(payload[offset]);
        }
      }
      std::uint8_t encryption;
      {
        std::lock_guard lock(mutex_);
        encryption = encryptionAnswer_;
        preLogins_.push_back(offered);
      }
      // VERSION 10.50.1600 (2008 R2), ENCRYPTION, INSTOPT, THREADID, MARS.
      const unsigned char options[] = {0x00, 0, 26,   0, 6,  0x01, 0, 32,   0, 1,  0x02, 0, 33,
                                       0,    1, 0x03, 0, 34, 0,    0, 0x04, 0, 34, 0,    1, 0xFF};
      reply.assign(reinterpret_cast<const char*>(options), sizeof options);
      const unsigned char data[] = {10, 50, 0x06, 0x40, 0, 0, encryption, 0, 0};
      reply.append(reinterpret_cast<const char*>(data), sizeof data);
      SendMessage(socket, 0x04, reply);
      continue;
    }
    if (type == 0x10) {  // login7
      Login login{LoginField(payload, 40, false), LoginField(payload, 44, true),
                  LoginField(payload, 68, false), offered};
      bool accepted;
      {
        std::lock_guard lock(mutex_);
        logins_.push_back(login);
        accepted = login.user == user_ && login.password == password_;
      }
      if (!accepted) {
        SendMessage(
            socket, 0x04,
            TdsReply().Failure(18456, "Login failed for user '" + login.user + "'.").Bytes());
        continue;
      }
      std::string database = login.database.empty() ? "master" : login.database;
      reply += EnvChange(1, database, "master");
      std::string collation;
      PutU8(collation, 7);
      PutU8(collation, 5);
      collation.append(kChineseCollation, 5);
      PutU8(collation, 0);
      PutU8(reply, 0xE3);
      PutU16(reply, static_cast<unsigned>(collation.size()));
      reply += collation;
      reply += EnvChange(4, std::to_string(kPacketSize), std::to_string(kPacketSize));
      std::string ack;
      PutU8(ack, 1);
      ack += std::string("\x74\x00\x00\x04", 4);
      PutBVarChar(ack, "Microsoft SQL Server");
      ack += std::string("\x0A\x32\x06\x40", 4);
      PutU8(reply, 0xAD);
      PutU16(reply, static_cast<unsigned>(ack.size()));
      reply += ack;
      reply += TdsReply().Done().Bytes();
      SendMessage(socket, 0x04, reply);
      continue;
    }
    if (type == 0x01) {  // SQL batch: ALL_HEADERS, then the text
      std::size_t headers = payload.size() >= 4 ? U16At(payload, 0) | (U16At(payload, 2) << 16) : 0;
      std::string statement =
          Utf8OfUcs2(std::string_view(payload).substr(std::min(headers, payload.size())));
      {
        std::lock_guard lock(mutex_);
        statements_.push_back(statement);
        auto found = answers_.find(statement);
        const TdsReply* answer = found == answers_.end() ? nullptr : &found->second;
        for (const auto& [prefix, prefixAnswer] : prefixAnswers_) {
          if (!answer && statement.starts_with(prefix))
            answer = &prefixAnswer;
        }
        if (answer)
          reply = noCount ? answer->WithoutCounts() : answer->Bytes();
      }
      if (text::EqualsNoCase(statement, "set nocount on"))
        noCount = true;
      if (text::EqualsNoCase(statement, "set nocount off"))
        noCount = false;
      if (reply.empty()) {
        reply =
            text::StartsWithNoCase(statement, "set ")
                ? TdsReply().Done().Bytes()
                : TdsReply().Failure(2812, "The responder has no answer for: " + statement).Bytes();
      }
      SendMessage(socket, 0x04, reply);
      continue;
    }
    if (type == 0x06) {  // attention
      SendMessage(socket, 0x04, TdsReply().Done(std::nullopt, false, 0xFD, 0x20).Bytes());
      continue;
    }
    SendMessage(socket, 0x04,
                TdsReply().Failure(2812, "The responder does not take RPCs.").Bytes());
  }
  std::lock_guard lock(mutex_);
  std::erase(open_, socket);
  ::close(socket);
}

void TdsResponder::SetLogin(std::string user, std::string password) {
  std::lock_guard lock(mutex_);
  user_ = std::move(user);
  password_ = std::move(password);
}

void TdsResponder::SetEncryptionAnswer(std::uint8_t answer) {
  std::lock_guard lock(mutex_);
  encryptionAnswer_ = answer;
}

void TdsResponder::SetNoCountByDefault(bool on) {
  std::lock_guard lock(mutex_);
  noCountByDefault_ = on;
}

std::vector<std::uint8_t> TdsResponder::PreLogins() const {
  std::lock_guard lock(mutex_);
  return preLogins_;
}

void TdsResponder::Answer(const std::string& statement, TdsReply reply) {
  std::lock_guard lock(mutex_);
  answers_[statement] = std::move(reply);
}

void TdsResponder::AnswerStartingWith(const std::string& prefix, TdsReply reply) {
  std::lock_guard lock(mutex_);
  prefixAnswers_.emplace_back(prefix, std::move(reply));
}

void TdsResponder::AnswerExecute(const std::string& statement, std::int64_t count,
                                 std::optional<TdsReply> statementTokens) {
  TdsReply reply = statementTokens.value_or(TdsReply().Done(count, true));
  reply.Columns({{"", TdsType::kInt}}).Row({std::to_string(count)}).Done(1);
  Answer(statement + std::string(kRowCountQuery), std::move(reply));
}

std::vector<TdsResponder::Login> TdsResponder::Logins() const {
  std::lock_guard lock(mutex_);
  return logins_;
}

std::vector<std::string> TdsResponder::Statements() const {
  std::lock_guard lock(mutex_);
  return statements_;
}

void TdsResponder::ClearStatements() {
  std::lock_guard lock(mutex_);
  statements_.clear();
}

void TdsResponder::DropConnections() {
  std::lock_guard lock(mutex_);
  for (int socket : open_)
    ::shutdown(socket, SHUT_RDWR);
}

db::ConnectionParameters TdsResponder::Parameters() const {
  std::lock_guard lock(mutex_);
  db::ConnectionParameters parameters;
  parameters.databaseKind = "SQL Server";
  parameters.server = "127.0.0.1";
  parameters.database = "relay";
  parameters.userName = user_;
  parameters.password = password_;
  parameters.port = port_;
  parameters.odbcDriver = "FreeTDS";
  return parameters;
}

}  // namespace pelvar::testing
