#include "upload/ServerLink.h"

#include <cstdint>
#include <exception>

#include "net/SocketApi.h"
#include "platform/Clock.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "upload/Journal.h"
#include "upload/Keywords.h"

namespace pelvar::upload {

ServerLink::ServerLink(Display& display, std::function<void()> pump) : display_(display) {
  IdTCPClient.SetPump(std::move(pump));
}

void ServerLink::SetPump(std::function<void()> pump) {
  IdTCPClient.SetPump(std::move(pump));
}

void ServerLink::SetConnectLimit(std::chrono::milliseconds limit, std::chrono::milliseconds slice) {
  IdTCPClient.SetConnectTiming(limit, slice);
}

std::string ServerLink::ResolveServerHost(const std::string& host) {
  std::uint32_t address = 0;
  int outcome;
  try {
    outcome = net::sockets::LookupIPv4(host, address);
  } catch (...) {
    return host;
  }
  if (outcome == net::sockets::kHostNotFound)
    address = 0;
  else if (outcome != 0)
    return host;
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

void ServerLink::OpenSession(const std::string& host, int port) {
  std::string address = ResolveServerHost(host);
  IdTCPClient.Connect(address, port);
}

bool ServerLink::CheckGreeting() {
  return MatchesWholeLine(ReadReplyLine(), kGreeting);
}

void ServerLink::SendCommandLine(const std::string& text) {
  IdTCPClient.Write(text::Utf8ToGbk(text) + "\r\n");
}

std::string ServerLink::ReadReplyLine() {
  return text::GbkToUtf8(IdTCPClient.ReadLine());
}

void ServerLink::SendStatementFrame(const std::string& statement) {
  try {
    std::string bytes = text::Utf8ToGbk(statement);
    if (bytes.size() > 0xFFFFFFFFu)
      return;
    const auto length = static_cast<std::uint32_t>(bytes.size());
    std::string frame;
    frame.reserve(4 + bytes.size());
    frame += static_cast<char>(length >> 24);
    frame += static_cast<char>((length >> 16) & 0xFF);
    frame += static_cast<char>((length >> 8) & 0xFF);
    frame += static_cast<char>(length & 0xFF);
    frame += bytes;
    IdTCPClient.Write(frame);
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

void ServerLink::SendStartStopNotice(const std::string& actionText, const std::string& agencyNumber,
                                     const std::string& host, int port) {
  Journal::EnsureJournalFolder();
  Journal journal;
  std::string failure;
  try {
    OpenSession(host, port);
    if (!CheckGreeting()) {
      CloseSession();
      return;
    }
    journal.OpenJournal();
    SendCommandLine(std::string(kNotice) + agencyNumber + " " + actionText);
    std::string reply = ReadReplyLine();
    std::string outcome = MatchesWholeLine(reply, kNoticeAccepted) ? " 成功！" : " 失败！";
    journal.WriteJournalLine(text::TimeStamp(platform::Now()) + " " + actionText + outcome);
    journal.CloseJournal();
    CloseSession();
    return;
  } catch (const CommError& error) {
    failure = std::string("Communication Exception: ") + error.what();
  } catch (const std::exception& error) {
    failure = std::string("VCL Exception: ") + error.what();
  } catch (...) {
    failure = "VCL Exception: Unknown exception";
  }
  journal.CloseJournal();
  CloseSession();
  display_.AppendLogLine("无法连接远程服务器。" + failure);
}

}  // namespace pelvar::upload
