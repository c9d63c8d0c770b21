// Reads a 30-row selection of a 20-column relay table and every field's text
// form, N times, through the relay connection (MySQL provider) and through
// the same work written directly on libmariadb, and prints both times.
//
// Uses the server named by PELVAR_TEST_MYSQL_HOST, _PORT, _USER, _PASSWORD
// (start one with: source scripts/lib/mariadb.sh; mariadb_start).
// Usage: relay_bench [N]   (default 2000)

#include <mysql.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "relay/RelayConnection.h"
#include "text/Error.h"
#include "text/Gbk.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

constexpr const char* kSelection = "select * from JCJG_BENCH where JCDWBH='J01' limit 0,30";

struct Server {
  std::string host, user, password;
  unsigned int port = 0;
};

MYSQL* ConnectDirect(const Server& server, const char* charset, const char* database) {
  MYSQL* mysql = mysql_init(nullptr);
  unsigned int protocol = MYSQL_PROTOCOL_TCP;
  mysql_options(mysql, MYSQL_OPT_PROTOCOL, &protocol);
  mysql_options(mysql, MYSQL_SET_CHARSET_NAME, charset);
  if (!mysql_real_connect(mysql, server.host.c_str(), server.user.c_str(), server.password.c_str(),
                          database, server.port, nullptr, CLIENT_MULTI_STATEMENTS)) {
    std::fprintf(stderr, "relay_bench: %s\n", mysql_error(mysql));
    std::exit(1);
  }
  return mysql;
}

void Run(MYSQL* mysql, const std::string& sql) {
  if (mysql_real_query(mysql, sql.data(), sql.size()) != 0) {
    std::fprintf(stderr, "relay_bench: %s\n", mysql_error(mysql));
    std::exit(1);
  }
  do {
    if (MYSQL_RES* result = mysql_store_result(mysql))
      mysql_free_result(result);
  } while (mysql_next_result(mysql) == 0);
}

std::string CreateTable(MYSQL* admin, const std::string& database) {
  std::string sql = "CREATE DATABASE `" + database + "` CHARACTER SET gbk; USE `" + database +
                    "`; CREATE TABLE JCJG_BENCH (YPDBH varchar(30), GCBH varchar(30),"
                    " BGBH varchar(30), GCMC varchar(100), JSDW varchar(100), SGDW varchar(100),"
                    " JLDW varchar(100), SJH varchar(20), BGRQ datetime, SYRQ date, SL int,"
                    " ZL decimal(10,2), QD double, BZ text, JCDWBH varchar(20), SENDFLAG int,"
                    " BGXGCOUNT int, XGSJ datetime, JG varchar(20), CUSTOMSJ datetime(3));";
  for (int row = 0; row < 30; ++row) {
    std::string n = std::to_string(row);
    sql += "INSERT INTO JCJG_BENCH VALUES ('YP2011-" + n + "', 'GC-" + n + "', 'BG2011-0" + n +
           "', '市政道路改造工程第" + n +
           "标段', '某市城市建设投资有限公司', '第三建筑工程公司',"
           " '建设监理咨询有限公司', 'SJH" +
           n + "', '2011-05-12 08:31:15', '2011-05-02', " + n +
           ", 12.50, 3.25, '混凝土抗压强度试验，养护28天，结果合格。', 'J01', 1, 0,"
           " '2011-05-12 00:00:00', '合格', '2011-05-02 14:07:09.045');";
  }
  Run(admin, sql);
  return database;
}

std::size_t ReadThroughRelay(pelvar::relay::RelayConnection& relay) {
  std::size_t bytes = 0;
  pelvar::db::Query& query = relay.Select(kSelection);
  while (!query.AtEnd()) {
    for (int i = 0; i < query.FieldCount(); ++i)
      bytes += query.FieldAt(i).AsString().size();
    query.Next();
  }
  return bytes;
}

std::size_t ReadDirect(MYSQL* mysql) {
  std::size_t bytes = 0;
  if (mysql_real_query(mysql, kSelection, std::strlen(kSelection)) != 0) {
    std::fprintf(stderr, "relay_bench: %s\n", mysql_error(mysql));
    std::exit(1);
  }
  MYSQL_RES* result = mysql_store_result(mysql);
  unsigned int count = mysql_num_fields(result);
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    unsigned long* lengths = mysql_fetch_lengths(result);
    for (unsigned int i = 0; i < count; ++i) {
      if (row[i])
        bytes += pelvar::text::GbkToUtf8(std::string_view(row[i], lengths[i])).size();
    }
  }
  mysql_free_result(result);
  return bytes;
}

// Wall-clock and process CPU time of one block of work, in milliseconds.
struct Timing {
  double wall = 0;
  double cpu = 0;
  Timing& operator+=(const Timing& other) {
    wall += other.wall;
    cpu += other.cpu;
    return *this;
  }
};

double CpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

template <typename Work>
Timing Measure(int times, Work work, std::size_t& sink) {
  double cpuStart = CpuMilliseconds();
  auto start = Clock::now();
  for (int i = 0; i < times; ++i)
    sink += work();
  Timing timing;
  timing.wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  timing.cpu = CpuMilliseconds() - cpuStart;
  return timing;
}

}  // namespace

int main(int argc, char** argv) {
  Server server;
  server.host = Environment("PELVAR_TEST_MYSQL_HOST");
  server.user = Environment("PELVAR_TEST_MYSQL_USER");
  server.password = Environment("PELVAR_TEST_MYSQL_PASSWORD");
  server.port = static_cast<unsigned int>(std::atoi(Environment("PELVAR_TEST_MYSQL_PORT").c_str()));
  if (server.host.empty()) {
    std::fprintf(stderr,
                 "relay_bench: PELVAR_TEST_MYSQL_HOST, PELVAR_TEST_MYSQL_PORT, "
                 "PELVAR_TEST_MYSQL_USER and PELVAR_TEST_MYSQL_PASSWORD must name a MariaDB "
                 "server (source scripts/lib/mariadb.sh; mariadb_start)\n");
    return 2;
  }
  int times = argc > 1 ? std::atoi(argv[1]) : 2000;
  if (times < 100)
    times = 100;

  std::string database = "pelvar_bench_" + std::to_string(getpid());
  MYSQL* admin = ConnectDirect(server, "utf8mb4", nullptr);
  CreateTable(admin, database);

  pelvar::db::ConnectionParameters parameters;
  parameters.databaseKind = "MySQL";
  parameters.server = server.host;
  parameters.port = static_cast<int>(server.port);
  parameters.userName = server.user;
  parameters.password = server.password;
  parameters.database = database;
  pelvar::relay::RelayConnection relay;
  relay.Configure(parameters);
  MYSQL* direct = ConnectDirect(server, "gbk", database.c_str());

  // Both sides run in alternating rounds so that both see the same load
  // from the rest of the machine; the median of the rounds' ratios is the
  // figure least disturbed by it.
  constexpr int kRounds = 20;
  std::size_t sink = 0;
  Timing library;
  Timing plain;
  std::vector<double> ratios;
  try {
    Measure(
        times / 10, [&] { return ReadThroughRelay(relay); }, sink);
    Measure(
        times / 10, [&] { return ReadDirect(direct); }, sink);
    for (int round = 0; round < kRounds; ++round) {
      Timing ours = Measure(
          times / kRounds, [&] { return ReadThroughRelay(relay); }, sink);
      Timing theirs = Measure(
          times / kRounds, [&] { return ReadDirect(direct); }, sink);
      ratios.push_back(ours.wall / theirs.wall);
      library += ours;
      plain += theirs;
    }
  } catch (const pelvar::Error& error) {
    std::fprintf(stderr, "relay_bench: %s\n", error.what());
    return 1;
  }
  std::sort(ratios.begin(), ratios.end());

  int done = times / kRounds * kRounds;
  std::printf("relay_bench: %d selections of 30 rows x 20 columns, every field read as text\n",
              done);
  std::printf(
      "  relay connection (MySQL provider): %9.1f ms wall %7.1f us/selection, %9.1f ms CPU\n",
      library.wall, library.wall * 1000 / done, library.cpu);
  std::printf(
      "  libmariadb directly:               %9.1f ms wall %7.1f us/selection, %9.1f ms CPU\n",
      plain.wall, plain.wall * 1000 / done, plain.cpu);
  std::printf("  ratio: wall %.3f, median of rounds %.3f, CPU %.3f (goal <= 1.2)\n",
              library.wall / plain.wall, ratios[ratios.size() / 2], library.cpu / plain.cpu);

  relay.Disconnect();
  mysql_close(direct);
  Run(admin, "DROP DATABASE `" + database + "`");
  mysql_close(admin);
  return 0;
}
