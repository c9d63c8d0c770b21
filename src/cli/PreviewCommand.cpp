#include <cstdio>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/OperatorTools.h"
#include "upload/Protocol.h"
#include "upload/Statements.h"

namespace pelvar::cli {

int PreviewCommand(const std::vector<std::string>& arguments) {
  std::optional<upload::Phase> only;
  int limit = -1;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    bool hasValue = i + 1 < arguments.size();
    if (argument == "--phase" && hasValue && (only = PhaseNamed(arguments[i + 1]))) {
      ++i;
    } else if (argument == "--limit" && hasValue &&
               arguments[i + 1].find_first_not_of("0123456789") == std::string::npos &&
               !arguments[i + 1].empty() && arguments[i + 1].size() < 9) {
      limit = std::stoi(arguments[++i]);
    } else {
      std::fprintf(stderr, "usage: pelvar-cli preview [--phase %s] [--limit N]\n",
                   PhaseNames().c_str());
      return 2;
    }
  }
  std::unique_ptr<RelaySession> session = OpenRelaySession();
  if (!session)
    return 1;
  const upload::SiteProfile& profile = session->profile;
  relay::RelayConnection& relay = session->relay;

  int projectsMarked = 0;
  for (upload::Phase phase : upload::kPhaseOrder) {
    const upload::PhaseDescription& description = upload::Describe(phase);
    db::Query& send = relay.Select(upload::BuildSelection(phase, profile));
    const int count = send.IsEmptyResult() ? 0 : send.RowCount();
    if (phase == upload::Phase::kProjects && description.settleSent.size() > 0)
      projectsMarked = count;
    if (only && phase != *only)
      continue;
    std::printf("== %s: %s -> %s, %d 行\n", std::string(PhaseName(phase)).c_str(),
                std::string(description.relayTable).c_str(),
                std::string(description.serverTable).c_str(), count);
    if (phase == upload::Phase::kReports && projectsMarked > 0) {
      std::printf(
          "注意：本周期的 projects 阶段会先把 %d 行标记为 1，报告阶段随后也会选取它们；"
          "这里只列出现在已标记为 1 的行。\n",
          projectsMarked);
    }
    if (count == 0)
      continue;
    std::printf("%s%d\n", std::string(protocol::kAnnounce).c_str(), count);
    for (int n = 1; !send.AtEnd() && (limit < 0 || n <= limit); ++n, send.Next()) {
      const std::string statement = upload::BuildUploadStatement(phase, send, profile);
      std::printf("-- %d/%d\n%s\n", n, count, statement.c_str());
    }
  }
  relay.Disconnect();
  return 0;
}

}  // namespace pelvar::cli
