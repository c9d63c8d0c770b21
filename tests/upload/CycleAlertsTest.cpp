#include "upload/CycleAlerts.h"

#include <gtest/gtest.h>

namespace pelvar::upload {
namespace {

CycleOutcome Refusing(int refused) {
  CycleOutcome outcome;
  outcome.time = {2024, 6, 2, 11, 7, 3};
  outcome.refused = refused;
  outcome.pending = 4;
  return outcome;
}

CycleOutcome Unreachable() {
  CycleOutcome outcome = Refusing(0);
  outcome.serverReached = false;
  outcome.pending = -1;
  return outcome;
}

TEST(CycleAlerts, EachBalloonOnceUntilTheSituationChanges) {
  CycleAlerts alerts;
  EXPECT_EQ(alerts.Tooltip("T", false), "T\n已停止上传");
  EXPECT_FALSE(alerts.Observe(Refusing(0)));
  EXPECT_EQ(alerts.Observe(Refusing(2)).value_or(""),
            "本次上传有 2 行被监管平台拒绝（标记为 100），可用 pelvar-cli rejected 查看。");
  EXPECT_EQ(alerts.Tooltip("T", true),
            "T\n正在上传\n待上传 4 行\n上次 2024-6-2 11:07:03 被拒 2 行");
  EXPECT_FALSE(alerts.Observe(Refusing(1)));
  // An unreachable server says nothing about refusals.
  EXPECT_FALSE(alerts.Observe(Unreachable()));
  EXPECT_FALSE(alerts.Observe(Refusing(1)));
  EXPECT_FALSE(alerts.Observe(Refusing(0)));
  EXPECT_TRUE(alerts.Observe(Refusing(1)));

  EXPECT_FALSE(alerts.Observe(Unreachable()));
  EXPECT_FALSE(alerts.Observe(Unreachable()));
  EXPECT_EQ(alerts.Observe(Unreachable()).value_or(""),
            "连续 3 个上传周期无法连接监管服务器，请检查网络和设置。");
  EXPECT_EQ(alerts.Tooltip("T", true), "T\n正在上传\n上次 2024-6-2 11:07:03 无法连接服务器");
  EXPECT_FALSE(alerts.Observe(Unreachable()));
  EXPECT_FALSE(alerts.Observe(Refusing(0)));
  EXPECT_FALSE(alerts.Observe(Unreachable()));
  EXPECT_FALSE(alerts.Observe(Unreachable()));
  EXPECT_TRUE(alerts.Observe(Unreachable()));
}

}  // namespace
}  // namespace pelvar::upload
