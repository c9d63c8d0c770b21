#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/CommError.h"
#include "net/LineReader.h"
#include "net/SocketApi.h"

namespace pelvar::net {

// Message texts of the CommErrors the client raises besides socket errors.
inline constexpr std::string_view kAlreadyConnected = "Already connected.";
inline constexpr std::string_view kConnectTimedOut = "Connect timed out.";
inline constexpr std::string_view kConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr std::string_view kNotConnected = "Not Connected";
inline constexpr std::string_view kMaxLineLengthExceeded = "Max line length exceeded.";
inline constexpr std::string_view kReadTimedOut = "Read timed out.";

// "Socket Error # " + number + CR LF + the platform's description.
std::string SocketErrorText(int error);

// A blocking IPv4 TCP client with a line reader: one connection at a time,
// reused for every connection. Every failure is a CommError.
//
// While it waits (for a connect, for data to read, for room to send) the
// client calls the pump at least once per slice of waiting, whatever arrives
// meanwhile, so the caller's window stays responsive and can stop it. The
// pump may call Disconnect(): the waiting call then fails with "Connection
// Closed Gracefully." and never touches the released socket, even if the
// pump has opened a new connection meanwhile. Host lookups do not pump.
//
// Not thread-safe: all calls, the pump included, happen on one thread.
class TcpClient {
 public:
  using Pump = std::function<void()>;

  static constexpr std::chrono::milliseconds kConnectSlice{125};
  static constexpr std::chrono::milliseconds kConnectLimit{120000};
  static constexpr std::chrono::milliseconds kReadSlice{250};
  static constexpr std::chrono::milliseconds kWriteSlice{250};
  // How long a read waits without receiving a single byte.
  static constexpr std::chrono::milliseconds kReadLimit{300000};
  static constexpr std::size_t kReceiveSize = 32768;

  TcpClient();
  ~TcpClient();  // closes an open connection as Disconnect() does
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // The pump called during waits; an empty one is allowed.
  void SetPump(Pump pump);

  // For tests only: another connect limit and slice than 120 s and 125 ms.
  void SetConnectTiming(std::chrono::milliseconds limit, std::chrono::milliseconds slice);
  // For tests only: another read limit than 300 s.
  void SetReadLimit(std::chrono::milliseconds limit);

  // Connects to host and port. host is "localhost" in any letter case
  // (127.0.0.1), a dotted quad, or a name that is looked up once. The wait is
  // at least one connect slice and at most the connect limit; the pump runs
  // after every slice.
  // Fails with "Already connected." (the open connection stays untouched),
  // "Connect timed out.", "Socket Error # 11001" + CR LF + "Host not found.",
  // the connect's socket error (a connect to 0.0.0.0 fails without being
  // tried, with the platform's "Cannot assign requested address."),
  // "Socket Error # <EINVAL>" for a port outside 0 to 65535, and "Connection
  // Closed Gracefully." when the pump disconnected the client. The socket is
  // closed on every failure except "Already connected.". A pump may replace
  // itself with SetPump while it runs.
  void Connect(const std::string& host, int port);

  // The first IPv4 address of the host's lookup in dotted form ("10.0.0.7");
  // "0.0.0.0" when the lookup finds no entry; the host text unchanged when
  // the lookup itself fails. Never fails; does not pump.
  static std::string LookupHost(const std::string& host);

  // True from the start of a connect until Disconnect() or until a close by
  // the peer (or a lost connection) is noticed in a read or write.
  bool Connected() const { return socket_ != sockets::kInvalid; }

  // Reads one line (see LineReader for its form and the 16384-byte cap),
  // waiting in read slices and pumping at least once per slice of waiting.
  // Returns as soon as the line is complete. There is no limit on the whole
  // wait, only on silence:
  // - no byte for the read limit (300 s): "Read timed out.", the connection
  //   stays open;
  // - peer closed with nothing buffered: the socket is closed, fails with
  //   "Connection Closed Gracefully.";
  // - peer closed with an incomplete line buffered: the socket is closed and
  //   the line is returned empty; later reads and writes fail with
  //   "Connection Closed Gracefully." until the next Connect or Disconnect;
  // - Disconnect() from the pump: "Connection Closed Gracefully.";
  // - not connected: "Not Connected"; a line over the cap: "Max line length
  //   exceeded." (its bytes stay buffered); a socket failure: its socket error
  //   text, after closing the socket when the connection is lost for good.
  std::string ReadLine();

  // Hands all bytes to the socket, as much as it takes at a time, waiting for
  // room in write slices and pumping after every slice the write has not
  // finished in. Fails with "Connection Closed Gracefully." when the pump
  // disconnected the client, "Not Connected", "Connection Closed Gracefully." after a
  // noticed close, or the socket error text; after a reset, abort, shutdown
  // or broken pipe the socket is closed first, so later calls fail with
  // "Connection Closed Gracefully.".
  void Write(std::string_view bytes);

  // Shuts down the sending direction and closes the socket at once, dropping
  // unread input; nothing is sent or awaited. Never fails; does nothing when
  // not connected. Also forgets a noticed close by the peer.
  void Disconnect();

 private:
  // Closes the socket because the peer closed it or the connection is lost.
  void CloseNoticed();
  void ReleaseSocket();
  void RunPump();
  std::uint32_t ResolveForConnect(const std::string& host) const;

  sockets::Handle socket_ = sockets::kInvalid;
  bool closedByPeer_ = false;
  // Changes whenever a socket is opened or released, so a wait can tell
  // whether the pump replaced its connection.
  std::uint64_t generation_ = 0;
  LineReader reader_;
  std::vector<char> receiveBuffer_;
  Pump pump_;
  std::chrono::milliseconds connectLimit_ = kConnectLimit;
  std::chrono::milliseconds connectSlice_ = kConnectSlice;
  std::chrono::milliseconds readLimit_ = kReadLimit;
};

}  // namespace pelvar::net
