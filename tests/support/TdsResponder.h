#pragma once

// A small TDS 7.4 responder on loopback for the ODBC provider's tests: the
// FreeTDS driver logs in to it (pre-login without encryption, login) and it
// answers SQL batches from a per-test script, recording every statement it
// receives. It is a fixture for the token stream a SQL Server sends, not a
// server: it knows nothing of tables, it only replays what the test wrote.
//
// Use:
//   TdsResponder responder;
//   responder.Answer("select k from t", TdsReply()
//                                           .Columns({{"k", TdsType::kInt}})
//                                           .Row({"1"})
//                                           .Done(1));
//   relay.Configure(responder.Parameters());

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "db/Connection.h"

namespace pelvar::testing {

enum class TdsType {
  kTinyInt,
  kSmallInt,
  kInt,
  kBigInt,
  kBit,
  kDecimal,  // precision and scale
  kReal,
  kFloat,
  kMoney,
  kDate,
  kTime,  // scale
  kDateTime,
  kDateTime2,  // scale
  kVarChar,    // Chinese_PRC_CI_AS: the value is sent as GBK bytes
  kNVarChar,
  kNText,
  kVarBinary,
};

struct TdsColumn {
  std::string name;
  TdsType type;
  int precision = 18;
  int scale = 0;
};

// A value in its plain text form ("-5", "12.50", "2011-05-02 14:07:09.047",
// "2011-05-02 14:07:09.0456789", UTF-8 text, raw bytes for varbinary);
// nullopt is NULL.
using TdsValue = std::optional<std::string>;

// The tokens of one answer, in the order they are added.
class TdsReply {
 public:
  // DONE status bits.
  static constexpr std::uint16_t kMore = 0x01;
  static constexpr std::uint16_t kError = 0x02;
  static constexpr std::uint16_t kCount = 0x10;

  TdsReply& Columns(std::vector<TdsColumn> columns);
  TdsReply& Row(const std::vector<TdsValue>& values);
  // DONE (0xFD), DONEPROC (0xFE) or DONEINPROC (0xFF); a count sets the
  // count bit. more sets DONE_MORE: every DONE but the last one has it.
  TdsReply& Done(std::optional<std::int64_t> count = std::nullopt, bool more = false,
                 std::uint8_t token = 0xFD, std::uint16_t extraStatus = 0);
  TdsReply& DoneInProc(std::optional<std::int64_t> count) { return Done(count, true, 0xFF); }
  // An ERROR token (severity 16) followed by nothing: add the DONE yourself.
  TdsReply& Error(int number, std::string_view message, int severity = 16);
  // The usual whole answer to a failing statement: ERROR, then DONE with the
  // error bit.
  TdsReply& Failure(int number, std::string_view message);

  const std::string& Bytes() const { return bytes_; }
  // The stream as a session with NOCOUNT on receives it: no DONE counts.
  std::string WithoutCounts() const;

 private:
  std::string bytes_;
  std::vector<std::size_t> dones_;
  std::vector<TdsColumn> columns_;
};

class TdsResponder {
 public:
  // Listens on 127.0.0.1 at a free port; one thread per connection.
  TdsResponder();
  ~TdsResponder();
  TdsResponder(const TdsResponder&) = delete;
  TdsResponder& operator=(const TdsResponder&) = delete;

  std::uint16_t Port() const { return port_; }

  // The login accepted (default user "pelvar", password "secret"); any
  // other is refused with error 18456, as SQL Server does.
  void SetLogin(std::string user, std::string password);
  // The pre-login encryption answer (default 2, not supported). 3 makes the
  // responder claim that encryption is required.
  void SetEncryptionAnswer(std::uint8_t answer);
  // Sessions start with NOCOUNT on, as on a server whose "user options"
  // set it: DONE tokens lose their counts until the session runs
  // "SET NOCOUNT OFF" (and again after "SET NOCOUNT ON").
  void SetNoCountByDefault(bool on);

  // Answers a batch whose text is exactly statement. Statements beginning
  // with "set " are answered with a bare DONE unless scripted; any other
  // unscripted statement gets error 2812 naming it.
  void Answer(const std::string& statement, TdsReply reply);

  // Answers every batch beginning with prefix that has no exact answer.
  void AnswerStartingWith(const std::string& prefix, TdsReply reply);

  // What the ODBC provider appends to a statement it executes on SQL Server
  // to learn its affected-row count.
  static constexpr std::string_view kRowCountQuery = "\nselect @@ROWCOUNT";
  // Answers statement + kRowCountQuery: the statement's own tokens (by
  // default its DONE with count), then @@ROWCOUNT's result with count.
  void AnswerExecute(const std::string& statement, std::int64_t count,
                     std::optional<TdsReply> statementTokens = std::nullopt);

  struct Login {
    std::string user;
    std::string password;
    std::string database;
    std::uint8_t encryption = 0xFF;  // what the client's pre-login offered
  };
  std::vector<Login> Logins() const;
  // The encryption byte of every pre-login received, in order.
  std::vector<std::uint8_t> PreLogins() const;
  // Every batch received, in order, in UTF-8.
  std::vector<std::string> Statements() const;
  void ClearStatements();

  // Closes every open connection, as a server restart does.
  void DropConnections();

  // "SQL Server" through FreeTDS to this responder, database "relay".
  db::ConnectionParameters Parameters() const;

 private:
  void AcceptLoop();
  void Serve(int socket);

  int listener_ = -1;
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::string user_ = "pelvar";
  std::string password_ = "secret";
  std::uint8_t encryptionAnswer_ = 2;
  bool noCountByDefault_ = false;
  std::vector<std::uint8_t> preLogins_;
  std::map<std::string, TdsReply> answers_;
  std::vector<std::pair<std::string, TdsReply>> prefixAnswers_;
  std::vector<Login> logins_;
  std::vector<std::string> statements_;
  std::vector<int> open_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};

}  // namespace pelvar::testing
