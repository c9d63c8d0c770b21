#include "upload/StartStopNotice.h"

#include <exception>

#include "net/CommError.h"
#include "platform/Clock.h"
#include "text/Regional.h"
#include "upload/Journal.h"
#include "upload/Protocol.h"

namespace pelvar::upload {

void SendStartStopNotice(ServerLink& link, Display& display, const std::string& actionText,
                         const std::string& agencyNumber, const std::string& host, int port) {
  Journal::EnsureJournalFolder();
  Journal journal;
  std::string failure;
  try {
    link.OpenSession(host, port);
    if (!link.CheckGreeting()) {
      link.CloseSession();
      return;
    }
    journal.OpenJournal();
    link.SendCommandLine(std::string(protocol::kNotice) + agencyNumber + " " + actionText);
    std::string reply = link.ReadReplyLine();
    std::string outcome =
        protocol::MatchesWholeLine(reply, protocol::kNoticeAccepted) ? " 成功！" : " 失败！";
    journal.WriteJournalLine(text::TimeStamp(platform::Now()) + " " + actionText + outcome);
    journal.CloseJournal();
    link.CloseSession();
    return;
  } catch (const CommError& error) {
    failure = std::string("Communication Exception: ") + error.what();
  } catch (const std::exception& error) {
    failure = std::string("VCL Exception: ") + error.what();
  } catch (...) {
    failure = "VCL Exception: Unknown exception";
  }
  journal.CloseJournal();
  link.CloseSession();
  display.AppendLogLine("无法连接远程服务器。" + failure);
}

}  // namespace pelvar::upload
