#include "video/player/play_text.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "video/player/player_loader.h"

using namespace videoplayer;

TEST(PlayTextTest, Placeholder) { EXPECT_EQ(ParseRequest("").kind, RequestKind::Unknown); }
