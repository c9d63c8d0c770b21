#include "support/FakeSupervisionServer.h"

#include "platform/Clock.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "text/Strings.h"

namespace pelvar::testing {

ScriptedPeer::Script FakeSupervisionServer::Script() {
  return [this](PeerConnection& connection) { Serve(connection); };
}

void FakeSupervisionServer::Serve(PeerConnection& connection) {
  connection.SendLine(text::Utf8ToGbk(greeting) + "\r\n");
  for (;;) {
    std::string line = text::GbkToUtf8(connection.ReadLine());
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    }
    if (line.rfind("ZQJCJGSEND ", 0) == 0) {
      int count = std::stoi(line.substr(11));
      connection.SendLine(text::Utf8ToGbk(announceReply) + "\r\n");
      if (announceReply != "ZQJCJGBUSK")
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
        connection.SendLine(text::Utf8ToGbk(reply) + "\r\n");
      }
    } else if (line.rfind("ZQJCJGGUID ", 0) == 0) {
      std::string reply =
          guidReply.empty() ? "ZQJCJGGUIDOK " + text::TimeStamp(platform::Now()) : guidReply;
      connection.SendLine(text::Utf8ToGbk(reply) + "\r\n");
    } else if (line.rfind("ZQJCJG_STARSTOP ", 0) == 0) {
      connection.SendLine(text::Utf8ToGbk(noticeReply) + "\r\n");
    } else {
      connection.SendLine("ZQJCJGERROR unknown command\r\n");
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
