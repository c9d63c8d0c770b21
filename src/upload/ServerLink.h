#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "net/TcpClient.h"

namespace pelvar::upload {

// The client's only channel to the supervision server: one TCP connection
// (a server session) at a time, command and reply lines and statement
// frames. Texts are UTF-8 here and GBK on the wire; line
// lengths and frame lengths count GBK bytes.
//
// Every failure of the connection is a CommError. While a call waits (a
// connect, a reply, room to send) the pump runs at least every 250 ms, and it
// may call CloseSession(): the waiting call then fails with "Connection
// Closed Gracefully.". A reply wait in which no byte arrives for 300 s fails
// with "Read timed out.".
//
// Calling order within a session: OpenSession, CheckGreeting, then any number
// of SendCommandLine / SendStatementFrame each followed by one ReadReplyLine,
// then CloseSession. Whoever opens a session closes it on every path.
// All calls happen on the user-interface thread.
class ServerLink {
 public:
  explicit ServerLink(std::function<void()> pump = {});

  // The pump called while a connect, a read or a send waits.
  void SetPump(std::function<void()> pump);

  // For tests only: shortens the 120 s connect limit and, when given, the
  // 125 ms slice every connect waits at least.
  void SetConnectLimit(std::chrono::milliseconds limit,
                       std::chrono::milliseconds slice = net::TcpClient::kConnectSlice);
  // For tests only: shortens the 300 s a reply wait may go without a byte.
  void SetReadLimit(std::chrono::milliseconds limit);

  // The first IPv4 address of the host's lookup in dotted form ("10.0.0.7");
  // "0.0.0.0" when the lookup finds no entry; the host text unchanged when
  // the lookup itself fails. Never fails; does not pump.
  static std::string ResolveServerHost(const std::string& host);

  // Connects to the resolved host and port with an empty input buffer.
  // Fails with "Already connected." while a session is open or connecting
  // (that session is left untouched), or with the connect's CommError, after
  // which no session is open.
  void OpenSession(const std::string& host, int port);

  // Reads one line; true exactly when it is "ZQJCJGSITE2".
  bool CheckGreeting();

  // Sends text + CR LF in one write. Text holding a CR or LF is not sent:
  // throws CommError, the session stays as it was.
  void SendCommandLine(const std::string& text);

  // One reply line without its LF and one CR before it (16384 GBK bytes at
  // most); empty when the server closed the connection in the middle of it.
  std::string ReadReplyLine();

  // Sends the statement's GBK bytes behind their count as a 4-byte big-endian
  // number. Fails only when the pump closed the session during the send,
  // with "Connection Closed Gracefully." as a reply wait would; on any other
  // failure the unsent bytes are dropped and the reply read that follows
  // reports the broken connection.
  void SendStatementFrame(const std::string& statement);

  // Shuts down the sending direction and closes at once, dropping unread
  // input. Never fails; does nothing without a session.
  void CloseSession();

  // True while a session's socket is open (from the start of its connect)
  // and no close by the server has been noticed.
  bool IsSessionOpen() const;

 private:
  net::TcpClient IdTCPClient;
};

}  // namespace pelvar::upload
