#pragma once

#include <string>

typedef struct st_mysql MYSQL;

namespace pelvar::server {

// Where the server keeps what it receives: one MariaDB/MySQL database.
struct DatabaseOptions {
  std::string host = "127.0.0.1";
  unsigned port = 3306;
  std::string user = "root";
  std::string password;
  std::string name = "PELVAR_SERVER";
};

// How one statement frame ended.
enum class Verdict {
  kAccepted,  // executed and committed
  kRejected,  // the database refused the statement; message is its own text
  kRetry,     // the database could not be reached or gave up for a passing
              // reason (lost connection, deadlock, lock wait); the row is not
              // at fault and the client should send it again later
};

struct Outcome {
  Verdict verdict = Verdict::kAccepted;
  std::string message;  // bytes as the database gave them (GBK), one line
};

// One session's connection to the server's database: character set gbk so
// the statement bytes pass unchanged, several statements per frame allowed.
// Values are held to their columns strictly, with one exception: an empty
// text (what the client sends for NULL) is taken as zero in a number column
// and as the zero date in a date column. A value that does not fit (a text
// longer than its column, a number out of range, a text where a number
// belongs) rejects the frame with the database's warning as the message.
// (The session's sql_mode stays non-strict for the exception's sake; the
// last statement's warnings are what hold values strictly.) Connects lazily
// and again after a lost connection. Not shared between threads.
class ServerDatabase {
 public:
  explicit ServerDatabase(DatabaseOptions options);
  ~ServerDatabase();
  ServerDatabase(const ServerDatabase&) = delete;
  ServerDatabase& operator=(const ServerDatabase&) = delete;

  // Opens the connection if it is not open. Returns an empty text on
  // success, else the reason.
  std::string EnsureConnected();

  // Runs statements (one or more separated by ";") inside one transaction:
  // all of them take effect or none.
  Outcome ExecuteFrame(const std::string& statements);

  // Creates the database and the server tables when they are missing.
  // Throws pelvar::Error with the database's message on failure.
  static void CreateSchema(const DatabaseOptions& options);

 private:
  void Close();

  DatabaseOptions options_;
  MYSQL* mysql_ = nullptr;
};

// The one-line form of a database message: CR and LF become blanks.
std::string OneLine(std::string message);

}  // namespace pelvar::server
