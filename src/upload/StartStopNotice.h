#pragma once

#include <string>

#include "upload/Display.h"
#include "upload/ServerLink.h"

namespace pelvar::upload {

// Tells the server over its own session on link that uploading was started
// or stopped (actionText "启动上传" or "停止上传") and records the answer in
// the journal. Requires: no session open on link. Never fails: a refused
// greeting records nothing; any error closes what was opened and appends
// exactly one line to display, "无法连接远程服务器。" followed by
// "Communication Exception: " or "VCL Exception: " and the error's message.
void SendStartStopNotice(ServerLink& link, Display& display, const std::string& actionText,
                         const std::string& agencyNumber, const std::string& host, int port);

}  // namespace pelvar::upload
