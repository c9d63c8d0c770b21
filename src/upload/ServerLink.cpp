#include "upload/ServerLink.h"

#include <exception>

#include "net/CommError.h"
#include "text/Gbk.h"
#include "upload/Protocol.h"

namespace pelvar::upload {

ServerLink::ServerLink(std::function<void()> pump) {
  IdTCPClient.SetPump(std::move(pump));
}

void ServerLink::SetPump(std::function<void()> pump) {
  IdTCPClient.SetPump(std::move(pump));
}

void ServerLink::SetConnectLimit(std::chrono::milliseconds limit, std::chrono::milliseconds slice) {
  IdTCPClient.SetConnectTiming(limit, slice);
}

void ServerLink::SetReadLimit(std::chrono::milliseconds limit) {
  IdTCPClient.SetReadLimit(limit);
}

std::string ServerLink::ResolveServerHost(const std::string& host) {
  return net::TcpClient::LookupHost(host);
}

void ServerLink::OpenSession(const std::string& host, int port) {
  std::string address = ResolveServerHost(host);
  IdTCPClient.Connect(address, port);
}

bool ServerLink::CheckGreeting() {
  return protocol::MatchesWholeLine(ReadReplyLine(), protocol::kGreeting);
}

void ServerLink::SendCommandLine(const std::string& text) {
  // A line break inside would let a value (an agency number from the
  // settings) forge further protocol lines: nothing of such a line is sent.
  if (text.find_first_of("\r\n") != std::string::npos)
    throw CommError("Line break inside a command line.");
  IdTCPClient.Write(protocol::EncodeLine(text::Utf8ToGbk(text)));
}

std::string ServerLink::ReadReplyLine() {
  return text::GbkToUtf8(IdTCPClient.ReadLine());
}

void ServerLink::SendStatementFrame(const std::string& statement) {
  const bool wasOpen = IsSessionOpen();
  try {
    std::string bytes = text::Utf8ToGbk(statement);
    if (bytes.size() > protocol::kMaxFrameBytes)
      return;
    IdTCPClient.Write(protocol::EncodeFrame(bytes));
  } catch (const CommError& error) {
    // Stopped under the send: the cycle ends as if stopped in the reply wait.
    if (wasOpen && !IsSessionOpen() && error.what() == net::kConnectionClosedGracefully)
      throw;
  } catch (const std::exception&) {
    // The reply read that always follows reports the broken connection.
  }
}

void ServerLink::CloseSession() {
  IdTCPClient.Disconnect();
}

bool ServerLink::IsSessionOpen() const {
  return IdTCPClient.Connected();
}

}  // namespace pelvar::upload
