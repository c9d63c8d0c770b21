#include "upload/CycleAlerts.h"

#include "text/Regional.h"

namespace pelvar::upload {

std::optional<std::string> CycleAlerts::Observe(const CycleOutcome& outcome) {
  last_ = outcome;
  const bool reached = outcome.serverReached && outcome.relayReached;
  std::optional<std::string> balloon;
  if (reached) {
    unreachableInARow_ = 0;
    unreachableShown_ = false;
  } else if (++unreachableInARow_ >= kUnreachableCycles && !unreachableShown_) {
    unreachableShown_ = true;
    balloon = "连续 " + std::to_string(unreachableInARow_) + " 个上传周期无法连接" +
              (outcome.serverReached ? "中转库" : "监管服务器") + "，请检查网络和设置。";
  }
  if (outcome.refused > 0) {
    if (!refusalShown_ && !balloon) {
      refusalShown_ = true;
      balloon = "本次上传有 " + std::to_string(outcome.refused) +
                " 行被监管平台拒绝（标记为 100），可用 pelvar-cli rejected 查看。";
    }
  } else if (outcome.serverReached) {
    refusalShown_ = false;
  }
  return balloon;
}

std::string CycleAlerts::Tooltip(std::string_view title, bool running) const {
  std::string tip(title);
  tip += running ? "\n正在上传" : "\n已停止上传";
  if (!last_)
    return tip;
  if (last_->pending >= 0)
    tip += "\n待上传 " + std::to_string(last_->pending) + " 行";
  tip += "\n上次 " + text::TimeStamp(last_->time) + " ";
  if (!last_->serverReached)
    tip += "无法连接服务器";
  else if (!last_->relayReached)
    tip += "中转库出错";
  else if (last_->refused > 0)
    tip += "被拒 " + std::to_string(last_->refused) + " 行";
  else
    tip += "完成";
  return tip;
}

}  // namespace pelvar::upload
