#include "auto/check_reason.h"

#include <gtest/gtest.h>

namespace {

TEST(ReasonText, EachVerdictHasItsTextFilledFromTheThresholds) {
  ReasonThresholds t{85, 70, 256};
  EXPECT_EQ(ReasonText(verdict::kCpuBusy, t), "CPU使用率 > 85%");
  EXPECT_EQ(ReasonText(verdict::kMemoryBusy, t), "内存使用率 > 70%");
  EXPECT_EQ(ReasonText(verdict::kAntivirus, t), "开启了杀毒软件");
  EXPECT_EQ(ReasonText(verdict::kWireless, t), "无线上网");
  EXPECT_EQ(ReasonText(verdict::kTraffic, t), "网卡流量 > 256KB/s");
  EXPECT_EQ(ReasonText(verdict::kSharedLine, t), "多机上网");
}

TEST(ReasonText, DefaultsAndCodesWithoutAReason) {
  ReasonThresholds defaults;
  EXPECT_EQ(ReasonText(1, defaults), "CPU使用率 > 100%");
  EXPECT_EQ(ReasonText(2, defaults), "内存使用率 > 100%");
  EXPECT_EQ(ReasonText(5, defaults), "网卡流量 > 0KB/s");
  EXPECT_EQ(ReasonText(0, defaults), "");
  EXPECT_EQ(ReasonText(7, defaults), "");
  EXPECT_EQ(ReasonText(-1, defaults), "");
  ReasonThresholds negative{-2147483647 - 1, 0, -1};
  EXPECT_EQ(ReasonText(1, negative), "CPU使用率 > -2147483648%");
  EXPECT_EQ(ReasonText(5, negative), "网卡流量 > -1KB/s");
}

}  // namespace
