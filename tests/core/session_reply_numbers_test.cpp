// Numbers in a login reply that have no whole-number form.
#include <gtest/gtest.h>

#include "core/server_session.h"

namespace {

TEST(LoginReplyNumbers, NumbersBeyondSixtyFourBitsCountAsAbsent) {
  UserInfo info;
  info.userId = "kept";
  ASSERT_TRUE(session::ParseLoginReply(R"({"statuscode":0,"userid":1e300,"nickname":2.5})", info));
  EXPECT_EQ(info.userId, "kept");
  EXPECT_EQ(info.nickname, "2");

  // A status beyond the range is no readable status at all.
  UserInfo other;
  EXPECT_FALSE(session::ParseLoginReply(R"({"statuscode":3.5e82})", other));
  EXPECT_TRUE(session::ParseLoginReply(R"({"statuscode":-9.2e18,"userid":9.2e18})", other));
  EXPECT_EQ(other.userId, "9200000000000000000");
}

}  // namespace
