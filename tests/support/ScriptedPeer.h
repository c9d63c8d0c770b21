#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/TestSockets.h"

namespace pelvar::testing {

// Thrown inside a script when the client closed the connection (or reset it)
// while the script waited for bytes, when a read waited longer than the
// read limit, or when the peer is being destroyed. The peer catches it: a
// script may simply let it end the connection.
class PeerClosed : public std::runtime_error {
 public:
  explicit PeerClosed(const std::string& what) : std::runtime_error(what) {}
};

class ScriptedPeer;

// One accepted connection, as the script sees it. All calls block the
// peer's thread only. Reads wait at most the peer's read limit (10 s by
// default) and throw PeerClosed past it, so a broken client cannot hang a
// test forever.
class PeerConnection {
 public:
  // Sends bytes exactly as given; the caller writes the terminator it wants
  // ("ZQJCJGSITE2\r\n", "ZQJCJGOK\n", a partial line without any).
  void SendLine(std::string_view bytes) { Send(bytes); }
  void Send(std::string_view bytes);

  // Reads one command line up to its LF and returns it without CR LF (a lone
  // LF is removed as well; Received() keeps the exact bytes).
  std::string ReadLine();

  // Reads one statement frame: the 4-byte big-endian length and that many
  // bytes, returned raw (length field included).
  std::string ReadFrame();

  // Reads exactly count bytes.
  std::string ReadBytes(std::size_t count);

  // Waits until the client closes its side (an orderly close or a reset);
  // true for an orderly close. Bytes received meanwhile are recorded.
  bool WaitForClientClose();

  // Orderly close: shuts down the sending direction (the client sees FIN),
  // then records what the client still sends until it closes its side (at
  // most the read limit) and closes. Waiting for the client first keeps the
  // close orderly: closing with unread bytes would reset the connection.
  // Later calls on this connection throw PeerClosed.
  void Close();

  // Abortive close: SO_LINGER with timeout 0, then close (the client sees
  // RST, "Connection reset by peer").
  void Reset();

  // Index of this connection, 0 for the first accepted.
  int Index() const { return index_; }

 private:
  friend class ScriptedPeer;
  PeerConnection(ScriptedPeer& peer, sockets::Fd fd, int index)
      : peer_(peer), fd_(fd), index_(index) {}
  // Receives at least one byte into pending_; false on close or reset.
  bool ReceiveMore();
  void CloseNow();

  ScriptedPeer& peer_;
  sockets::Fd fd_;
  int index_;
  std::string pending_;  // received, not yet taken by a Read*
  bool lastEndWasReset_ = false;
};

// A loopback TCP server on 127.0.0.1 at a free port, playing the supervision
// server's side. Its own thread accepts connections one after the other and
// runs the script on each (connection N waits in the backlog while the
// script of N-1 runs); when the script returns the connection is closed in
// an orderly way if the script did not close it. Everything the peer
// receives is recorded per connection.
//
// Assertions (EXPECT_*) may be used inside the script. An exception other
// than PeerClosed escaping a script is recorded as a test failure.
class ScriptedPeer {
 public:
  using Script = std::function<void(PeerConnection&)>;

  explicit ScriptedPeer(Script script);
  // Stops accepting, wakes a script that waits for bytes (it gets
  // PeerClosed) and joins the thread.
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  // Replaces the script for connections accepted from now on.
  void SetScript(Script script);

  // How long a script's read waits for bytes before throwing PeerClosed.
  void SetReadLimit(std::chrono::milliseconds limit) { readLimit_ = limit; }

  std::uint16_t Port() const { return port_; }

  // Blocks until count scripts have finished (at most 10 s; a longer wait is
  // a test failure) and returns whether they did.
  bool WaitForScripts(int count);

  int AcceptedCount() const;

  // Bytes received on connection index, and on all connections in order.
  std::string Received(int index) const;
  std::string Received() const;

 private:
  friend class PeerConnection;
  void Run();
  void Record(int index, std::string_view bytes);
  Script CurrentScript();

  sockets::Fd listenFd_ = sockets::kNoSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<std::chrono::milliseconds> readLimit_{std::chrono::seconds(10)};
  mutable std::mutex mutex_;
  std::condition_variable finished_;
  Script script_;
  std::vector<std::string> received_;
  int accepted_ = 0;
  int finishedCount_ = 0;
  std::thread thread_;
};

}  // namespace pelvar::testing
