#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pelvar::testing {

// A loopback TCP proxy in front of a MySQL/MariaDB server, so a test can make
// the relay database go away at a chosen moment without touching the server
// itself. It listens on 127.0.0.1 at a free port and forwards every accepted
// connection to the target; its own thread does all the forwarding.
//
// A cut shuts down both sides of every open connection at once (the client
// sees the server vanish, the server sees its client vanish) and from then on
// refuses new connections (accepts and closes them at once) until Heal().
//
// Requests from the client are read as MySQL protocol packets (plain, never
// compressed or encrypted), so a cut can be armed to happen at a given query:
// a packet with sequence number 0 whose first byte is COM_QUERY (0x03).
class TcpProxy {
 public:
  // Where an armed query cut happens: the query never reaches the server, or
  // the query reaches the server and its answer never reaches the client.
  enum class Moment { kBeforeQuery, kAfterQuery };
  enum class Direction { kToServer, kToClient };

  TcpProxy(std::string targetHost, std::uint16_t targetPort);
  // Cuts everything and joins the thread.
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  std::uint16_t Port() const { return port_; }

  // Cuts every connection now and refuses new ones until Heal().
  void CutAll();

  // Forwards new connections again and disarms any armed cut. Connections
  // cut before stay cut.
  void Heal();

  // Arms a cut at the count-th query (counted from now, over all
  // connections) for which matches(query text) is true. The text is the
  // packet's bytes after the command byte, as sent (the connection's
  // character set).
  void CutAtQuery(std::function<bool(std::string_view query)> matches, int count, Moment moment);

  // Arms a cut once count more bytes have gone in the given direction: the
  // first count bytes are forwarded, the rest is dropped.
  void CutAfterBytes(Direction direction, std::size_t count);

  // Number of cuts so far (CutAll and armed cuts that happened).
  int Cuts() const;

  // True while new connections are refused.
  bool Refusing() const;

 private:
  struct Pipe;
  void Run();
  // All under mutex_.
  void CutLocked();
  // Closes and forgets the pipes that were cut or ended.
  void ReapLocked();
  void Forward(Pipe& pipe, bool fromClient, const char* data, std::size_t size);
  void ForwardFromClient(Pipe& pipe);
  bool SendAll(int fd, const char* data, std::size_t size);

  std::string targetHost_;
  std::uint16_t targetPort_;
  int listenFd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};

  mutable std::mutex mutex_;
  std::vector<Pipe*> pipes_;
  bool refusing_ = false;
  int cuts_ = 0;
  // Armed query cut.
  std::function<bool(std::string_view)> queryMatches_;
  int queryCountdown_ = 0;
  Moment queryMoment_ = Moment::kBeforeQuery;
  // Armed byte cut.
  bool byteCutArmed_ = false;
  Direction byteDirection_ = Direction::kToServer;
  std::size_t byteCountdown_ = 0;

  std::thread thread_;
};

}  // namespace pelvar::testing
