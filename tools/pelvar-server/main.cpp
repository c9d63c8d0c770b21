// pelvar-server: a supervision server for the upload protocol, for trials,
// the demo and the end-to-end tests. It stores what it receives in its own
// MariaDB/MySQL database.

#include <fcntl.h>
#include <mysql.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "Log.h"
#include "Server.h"
#include "ServerDatabase.h"
#include "text/Error.h"

namespace {

constexpr const char* kUsage = R"(usage: pelvar-server [OPTION]...
Serves the upload protocol: greets every connection, answers announcements,
executes every statement frame on its own database and answers each with one
line, answers identifier lines with its local time and start/stop notices.

  --listen ADDR        IPv4 address to listen on (default 127.0.0.1)
  --port N             TCP port (default 13031; 0 picks a free one)
  --max-sessions N     sessions served at once (default 64)
  --idle-timeout S     end a session in which nothing arrives for S seconds
                       (default 300)
  --max-frame BYTES    end a session whose frame announces more than BYTES
                       (default 67108864, 64 MiB)
  --frame-budget BYTES frames being received or run hold at most BYTES in all
                       sessions together; a session waits for room before it
                       reads a frame's statement (default 268435456, 256 MiB;
                       at least --max-frame)
  --db-host HOST       database server (default 127.0.0.1)
  --db-port N          database port (default 3306)
  --db-user USER       database user (default root)
  --db-password TEXT   database password (default: the environment variable
                       PELVAR_SERVER_DB_PASSWORD, else empty)
  --db-name NAME       database (default PELVAR_SERVER)
  --create-schema      create the database and its five tables if missing
  --greeting TEXT      greet with TEXT instead of ZQJCJGSITE2 (to try out
                       how clients meet an unexpected protocol version)
  --reject-guid TEXT   refuse every identifier with the message TEXT
  --help               show this text

The first line on standard output is "pelvar-server listening on ADDR:PORT";
every session is logged after it. SIGINT or SIGTERM ends the server.
The server runs whatever SQL its clients send: let only trusted clients
reach it, and give it a database user with rights on its database alone.
)";

int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &byte, 1);
  errno = saved;
}

bool ParseNumber(std::string_view text, unsigned maximum, unsigned& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty() &&
         value <= maximum;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "pelvar-server: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using pelvar::server::ServerOptions;
  ServerOptions options;
  bool createSchema = false;
  bool passwordGiven = false;

  for (int i = 1; i < argc; ++i) {
    std::string_view option = argv[i];
    if (option == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option == "--create-schema") {
      createSchema = true;
      continue;
    }
    if (i + 1 >= argc)
      return Fail("missing value after " + std::string(option) + " (see --help)");
    std::string value = argv[++i];
    unsigned number = 0;
    if (option == "--listen") {
      options.listenAddress = value;
    } else if (option == "--port") {
      if (!ParseNumber(value, 65535, number))
        return Fail("bad port: " + value);
      options.port = static_cast<std::uint16_t>(number);
    } else if (option == "--max-sessions") {
      if (!ParseNumber(value, 100000, number) || number == 0)
        return Fail("bad session count: " + value);
      options.maxSessions = static_cast<int>(number);
    } else if (option == "--idle-timeout") {
      if (!ParseNumber(value, 86400, number) || number == 0)
        return Fail("bad idle timeout: " + value);
      options.session.idleLimit = std::chrono::seconds(number);
    } else if (option == "--max-frame") {
      if (!ParseNumber(value, 0xFFFFFFFFu, number))
        return Fail("bad frame limit: " + value);
      options.session.maxFrameLength = number;
    } else if (option == "--frame-budget") {
      std::uint64_t bytes = 0;
      auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), bytes);
      if (error != std::errc() || end != value.data() + value.size() || value.empty())
        return Fail("bad frame budget: " + value);
      options.frameBudget = bytes;
    } else if (option == "--db-host") {
      options.database.host = value;
    } else if (option == "--db-port") {
      if (!ParseNumber(value, 65535, number))
        return Fail("bad database port: " + value);
      options.database.port = number;
    } else if (option == "--db-user") {
      options.database.user = value;
    } else if (option == "--db-password") {
      options.database.password = value;
      passwordGiven = true;
    } else if (option == "--db-name") {
      options.database.name = value;
    } else if (option == "--greeting") {
      options.session.greeting = value;
    } else if (option == "--reject-guid") {
      options.session.guidRejection = value;
    } else {
      return Fail("unknown option " + std::string(option) + " (see --help)");
    }
  }
  if (options.frameBudget < options.session.maxFrameLength)
    return Fail("--frame-budget must be at least --max-frame");
  if (!passwordGiven) {
    if (const char* password = std::getenv("PELVAR_SERVER_DB_PASSWORD")) {
      options.database.password = password;
    }
  }

  if (::pipe2(stopPipe, O_CLOEXEC) != 0)
    return Fail(std::strerror(errno));
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  mysql_library_init(0, nullptr, nullptr);
  int status = 0;
  try {
    if (createSchema)
      pelvar::server::ServerDatabase::CreateSchema(options.database);
    pelvar::server::Server server(options);
    server.Listen();
    std::printf("pelvar-server listening on %s\n", server.BoundAddress().c_str());
    std::fflush(stdout);
    server.Run(stopPipe[0]);
    pelvar::server::LogLine("stopped");
  } catch (const std::exception& e) {
    status = Fail(e.what());
  }
  mysql_library_end();
  return status;
}
