// Round trips of one statement frame and its one-line reply on loopback:
// through ServerLink (GBK conversion, framing, the line reader, the pumped
// read) against a minimal send/recv loop exchanging the same bytes with the
// same peer. Nagle stays on in both, as the link requires; every frame waits
// for its reply, so this measures request/response latency.
//
// Both connections stay open side by side and the two loops take turns in
// short blocks, so both see the same machine load even on a busy machine.
//
// Usage: link_bench [round trips per side and run, default 10000] [runs, default 5]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "common/LoopbackPeer.h"
#include "text/Gbk.h"
#include "upload/Display.h"
#include "upload/ServerLink.h"

namespace {

using pelvar::bench::LoopbackListener;
using pelvar::bench::ReadRequests;
using pelvar::bench::Reply;

using Clock = std::chrono::steady_clock;
constexpr int kBlock = 250;  // round trips per turn

// The server side: a thread per connection greets it, then answers every
// frame with "ZQJCJGOK" until the client closes.
class EchoPeer {
 public:
  EchoPeer() : listener_(Serve, LoopbackListener::Mode::kThreadPerConnection) {}
  int Port() const { return listener_.Port(); }

 private:
  static void Serve(int fd) {
    static const char kReply[] = "ZQJCJGOK\r\n";
    Reply(fd, "ZQJCJGSITE2");
    ReadRequests(
        fd, [](const std::string&) { return true; },
        [fd](const std::string&) {
          ::send(fd, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
          return true;
        });
  }

  LoopbackListener listener_;
};

// The minimal client: one send per frame, recv until the LF.
class BareClient {
 public:
  explicit BareClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      std::exit(4);
    ReadLine();
  }
  ~BareClient() { ::close(fd_); }
  void Send(const std::string& frame) { ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL); }
  std::string ReadLine() {
    std::size_t lf;
    while ((lf = pending_.find('\n')) == std::string::npos) {
      ssize_t n = ::recv(fd_, buffer_, sizeof buffer_, 0);
      if (n <= 0)
        std::exit(5);
      pending_.append(buffer_, static_cast<std::size_t>(n));
    }
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    return line;
  }

 private:
  int fd_;
  char buffer_[32768];
  std::string pending_;
};

// A typical reports-phase statement with Chinese values, or an ASCII one of
// the same GBK length, which the link sends without converting.
std::string Statement(bool asciiOnly) {
  std::string chinese =
      "INSERT INTO JCJG_JCDW_RPTINFO VALUES ('0001','BG2011-05-0001','混凝土抗压强度检测报告',"
      "'2011-5-2','某某建设工程有限公司','某某住宅小区一期工程3号楼','C30','28','合格',"
      "'2011-5-2 8:31:15','张三','李四','王五','0')";
  if (!asciiOnly)
    return chinese;
  return std::string(pelvar::text::Utf8ToGbk(chinese).size(), 'a');
}

std::string Frame(const std::string& statement) {
  const std::string gbk = pelvar::text::Utf8ToGbk(statement);
  std::string frame(4, '\0');
  frame[0] = static_cast<char>(gbk.size() >> 24);
  frame[1] = static_cast<char>(gbk.size() >> 16);
  frame[2] = static_cast<char>(gbk.size() >> 8);
  frame[3] = static_cast<char>(gbk.size());
  return frame + gbk;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Microseconds per round trip of every turn, for each side.
struct Turns {
  std::vector<double> link;
  std::vector<double> bare;
};

void Run(const EchoPeer& peer, int roundTrips, bool asciiOnly, Turns& turns) {
  pelvar::upload::ServerLink link;
  link.OpenSession("127.0.0.1", peer.Port());
  if (!link.CheckGreeting())
    std::exit(2);
  BareClient bare(peer.Port());
  const std::string statement = Statement(asciiOnly);
  const std::string frame = Frame(statement);
  for (int done = 0; done < roundTrips; done += kBlock) {
    const int block = std::min(kBlock, roundTrips - done);
    auto start = Clock::now();
    for (int i = 0; i < block; ++i) {
      bare.Send(frame);
      if (bare.ReadLine() != "ZQJCJGOK\r")
        std::exit(6);
    }
    auto middle = Clock::now();
    for (int i = 0; i < block; ++i) {
      link.SendStatementFrame(statement);
      if (link.ReadReplyLine() != "ZQJCJGOK")
        std::exit(3);
    }
    auto end = Clock::now();
    turns.bare.push_back(std::chrono::duration<double, std::micro>(middle - start).count() / block);
    turns.link.push_back(std::chrono::duration<double, std::micro>(end - middle).count() / block);
  }
  link.CloseSession();
}

void Compare(const EchoPeer& peer, int roundTrips, int runs, bool asciiOnly) {
  Turns all;
  for (int run = 0; run < runs; ++run) {
    Turns turns;
    Run(peer, roundTrips, asciiOnly, turns);
    double link = 0;
    double bare = 0;
    for (double t : turns.link)
      link += t;
    for (double t : turns.bare)
      bare += t;
    std::printf("  run %d: mean ServerLink %6.2f us, bare send/recv %6.2f us per round trip\n",
                run + 1, link / turns.link.size(), bare / turns.bare.size());
    all.link.insert(all.link.end(), turns.link.begin(), turns.link.end());
    all.bare.insert(all.bare.end(), turns.bare.begin(), turns.bare.end());
  }
  // Bursts of load from other processes hit single turns; the median turn
  // shows the cost of each side without them.
  const double link = Median(all.link);
  const double bare = Median(all.bare);
  std::printf("  median turn: ServerLink %.2f us, bare send/recv %.2f us per round trip\n", link,
              bare);
  std::printf("  ratio %.3f (goal <= 1.1)\n", link / bare);
}

}  // namespace

int main(int argc, char** argv) {
  const int roundTrips = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (roundTrips <= 0 || runs <= 0)
    return 1;
  // Whether client and peer threads share a CPU changes a round trip more
  // than anything measured here (a wake-up on another CPU costs tens of
  // microseconds on a virtual machine), and the scheduler decides it per
  // connection. All threads share one CPU, so both sides run alike.
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu() < 0 ? 0 : sched_getcpu(), &one);
  const bool pinned = sched_setaffinity(0, sizeof one, &one) == 0;
  EchoPeer peer;
  std::printf(
      "link_bench: %d frame/reply round trips per side and run on loopback, "
      "in turns of %d%s\n",
      roundTrips, kBlock, pinned ? ", all threads on one CPU" : "");
  std::printf(
      "statement with Chinese values, %zu bytes in GBK (the link converts it from UTF-8\n"
      "for every frame; the bare loop sends ready GBK bytes):\n",
      pelvar::text::Utf8ToGbk(Statement(false)).size());
  Compare(peer, roundTrips, runs, false);
  std::printf("ASCII statement of the same length (nothing to convert):\n");
  Compare(peer, roundTrips, runs, true);
  return 0;
}
