// Round trips of one statement frame and its one-line reply on loopback:
// through ServerLink (GBK conversion, framing, the line reader, the pumped
// read) against a minimal send/recv loop exchanging the same bytes with the
// same peer. Nagle stays on in both, as the link requires; every frame waits
// for its reply, so this measures request/response latency.
//
// Usage: link_bench [round trips per run, default 10000] [runs, default 7]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "text/Gbk.h"
#include "upload/Display.h"
#include "upload/ServerLink.h"

namespace {

using Clock = std::chrono::steady_clock;

class NullDisplay : public pelvar::upload::Display {
 public:
  void AppendLogLine(const std::string&) override {}
  void ClearLog() override {}
  int LogLineCount() override { return 0; }
  void SetLight(pelvar::upload::Light, pelvar::upload::LightColour) override {}
  void RaiseSentCounter() override {}
  void ShowRemainingTime(int) override {}
  void SetRemainingTimeVisible(bool) override {}
  void SetHeaderLabel(const std::string&) override {}
};

// The server side: greets every connection, then answers every frame with
// "ZQJCJGOK" until the client closes.
class EchoPeer {
 public:
  EchoPeer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("listen");
      std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~EchoPeer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  int Port() const { return port_; }

 private:
  void Run() {
    while (!stopping_) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      Serve(fd);
      ::close(fd);
    }
  }
  static void Serve(int fd) {
    static const char kGreeting[] = "ZQJCJGSITE2\r\n";
    static const char kReply[] = "ZQJCJGOK\r\n";
    ::send(fd, kGreeting, sizeof kGreeting - 1, MSG_NOSIGNAL);
    std::vector<char> buffer(1 << 16);
    std::size_t have = 0;
    for (;;) {
      ssize_t n = ::recv(fd, buffer.data() + have, buffer.size() - have, 0);
      if (n <= 0) return;
      have += static_cast<std::size_t>(n);
      // Answer every complete frame in the buffer.
      std::size_t at = 0;
      while (have - at >= 4) {
        const auto* p = reinterpret_cast<const unsigned char*>(buffer.data() + at);
        std::size_t length = (std::size_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        if (have - at < 4 + length) break;
        at += 4 + length;
        ::send(fd, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
      }
      std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(at),
                buffer.begin() + static_cast<std::ptrdiff_t>(have), buffer.begin());
      have -= at;
    }
  }

  int listener_;
  int port_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// A typical reports-phase statement: ASCII with some Chinese values.
std::string Statement() {
  std::string statement =
      "INSERT INTO JCJG_JCDW_RPTINFO VALUES ('0001','BG2011-05-0001','混凝土抗压强度检测报告',"
      "'2011-5-2','某某建设工程有限公司','某某住宅小区一期工程3号楼','C30','28','合格',"
      "'2011-5-2 8:31:15','张三','李四','王五','0')";
  return statement;
}

double RunLink(int port, int roundTrips) {
  NullDisplay display;
  pelvar::upload::ServerLink link(display);
  link.OpenSession("127.0.0.1", port);
  if (!link.CheckGreeting()) std::exit(2);
  const std::string statement = Statement();
  auto start = Clock::now();
  for (int i = 0; i < roundTrips; ++i) {
    link.SendStatementFrame(statement);
    if (link.ReadReplyLine() != "ZQJCJGOK") std::exit(3);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  link.CloseSession();
  return seconds;
}

double RunBare(int port, int roundTrips) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::exit(4);
  // The link's connect always waits one 125 ms slice; a connection timed at
  // once after its connect is markedly slower for its first exchanges, so
  // the bare loop waits the same before it starts.
  std::this_thread::sleep_for(std::chrono::milliseconds(125));
  char buffer[32768];
  std::string pending;
  auto readLine = [&] {
    std::size_t lf;
    while ((lf = pending.find('\n')) == std::string::npos) {
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) std::exit(5);
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    std::string line = pending.substr(0, lf);
    pending.erase(0, lf + 1);
    return line;
  };
  readLine();
  const std::string gbk = pelvar::text::Utf8ToGbk(Statement());
  std::string frame(4, '\0');
  frame[0] = static_cast<char>(gbk.size() >> 24);
  frame[1] = static_cast<char>(gbk.size() >> 16);
  frame[2] = static_cast<char>(gbk.size() >> 8);
  frame[3] = static_cast<char>(gbk.size());
  frame += gbk;
  auto start = Clock::now();
  for (int i = 0; i < roundTrips; ++i) {
    ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    if (readLine() != "ZQJCJGOK\r") std::exit(6);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Best(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

void Print(const char* name, double seconds, int roundTrips) {
  std::printf("  %-15s %8.3f s  %7.2f us per round trip\n", name, seconds,
              seconds * 1e6 / roundTrips);
}

}  // namespace

int main(int argc, char** argv) {
  const int roundTrips = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  if (roundTrips <= 0 || runs <= 0) return 1;
  EchoPeer peer;
  std::vector<double> link;
  std::vector<double> bare;
  std::printf("link_bench: %d frame/reply round trips on loopback per run, %d runs each,\n"
              "alternating, so both see the same machine load\n",
              roundTrips, runs);
  for (int run = 0; run < runs; ++run) {
    bare.push_back(RunBare(peer.Port(), roundTrips));
    link.push_back(RunLink(peer.Port(), roundTrips));
    std::printf("  run %d: bare send/recv %.3f s, ServerLink %.3f s\n", run + 1, bare.back(),
                link.back());
  }
  std::printf("median:\n");
  Print("ServerLink", Median(link), roundTrips);
  Print("bare send/recv", Median(bare), roundTrips);
  std::printf("  ratio           %8.3f  (goal <= 1.1)\n", Median(link) / Median(bare));
  std::printf("best run:\n");
  Print("ServerLink", Best(link), roundTrips);
  Print("bare send/recv", Best(bare), roundTrips);
  std::printf("  ratio           %8.3f  (goal <= 1.1)\n", Best(link) / Best(bare));
  return 0;
}
