#include "support/FakeSupervisionServer.h"

#include "platform/Clock.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "text/Strings.h"
#include "upload/Protocol.h"

namespace pelvar::testing {

ScriptedPeer::Script FakeSupervisionServer::Script() {
  return [this](PeerConnection& connection) { Serve(connection); };
}

void FakeSupervisionServer::Serve(PeerConnection& connection) {
  connection.SendLine(protocol::EncodeLine(text::Utf8ToGbk(greeting)));
  for (;;) {
    std::string line = text::GbkToUtf8(connection.ReadLine());
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    }
    if (protocol::MatchesPrefix(line, protocol::kAnnounce)) {
      int count = std::stoi(std::string(protocol::KeywordArgument(line, protocol::kAnnounce)));
      connection.SendLine(protocol::EncodeLine(text::Utf8ToGbk(announceReply)));
      if (announceReply != protocol::kReady)
        continue;
      for (int i = 0; i < count; ++i) {
        std::string frame = connection.ReadFrame();
        std::string statement = text::GbkToUtf8(frame.substr(4));
        {
          std::lock_guard lock(mutex_);
          rawFrames_.push_back(frame);
          statements_.push_back(statement);
        }
        if (rawVerdict) {
          std::string raw = rawVerdict(statement);
          if (beforeReply)
            beforeReply();
          connection.Send(raw);
          continue;
        }
        std::string reply = verdict(statement);
        if (beforeReply)
          beforeReply();
        if (reply == kCloseNow) {
          connection.Close();
          return;
        }
        connection.SendLine(protocol::EncodeLine(text::Utf8ToGbk(reply)));
      }
    } else if (protocol::MatchesPrefix(line, protocol::kGuid)) {
      std::string reply = guidReply.empty() ? std::string(protocol::kGuidAccepted) +
                                                  text::TimeStamp(platform::Now())
                                            : guidReply;
      connection.SendLine(protocol::EncodeLine(text::Utf8ToGbk(reply)));
    } else if (protocol::MatchesPrefix(line, protocol::kNotice)) {
      connection.SendLine(protocol::EncodeLine(text::Utf8ToGbk(noticeReply)));
    } else {
      connection.SendLine(
          protocol::EncodeLine(std::string(protocol::kRejected) + "unknown command"));
    }
  }
}

std::vector<std::string> FakeSupervisionServer::Statements() const {
  std::lock_guard lock(mutex_);
  return statements_;
}

std::vector<std::string> FakeSupervisionServer::RawFrames() const {
  std::lock_guard lock(mutex_);
  return rawFrames_;
}

std::vector<std::string> FakeSupervisionServer::CommandLines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

}  // namespace pelvar::testing
