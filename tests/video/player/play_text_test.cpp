// The player's texts and figures: the requests it takes, the texts it sends, the fields' units
// and formats, and the highest-second rule.

#include "video/player/play_text.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "video/player/player_loader.h"

using namespace videoplayer;

TEST(PlayTextTest, ReadsTheThreeRequestsAndDecodesTheAddress) {
  const std::string url = "http://h/media/a.flv?x=1&y=<2>";
  ParsedRequest r = ParseRequest(StartRequest(url));
  EXPECT_EQ(r.kind, RequestKind::Start);
  EXPECT_EQ(r.argument, url);
  EXPECT_NE(StartRequest(url).find("x=1&amp;y=&lt;2&gt;"), std::string::npos);
  EXPECT_EQ(ParseRequest(AutoStartRequest(url)).kind, RequestKind::AutoStart);
  EXPECT_EQ(ParseRequest(StopRequest(url)).kind, RequestKind::Stop);
  EXPECT_EQ(StartRequest("u"),
            "<invoke name=\"videoStartPaly\" returntype=\"xml\"><arguments><string>u</string>"
            "</arguments></invoke>");

  // Entities as a sender may write them; broken ones stay as they are.
  EXPECT_EQ(DecodeXmlText("a&#38;b&#x26;c&quot;&apos;&#x4e2d;"), "a&b&c\"'\xe4\xb8\xad");
  EXPECT_EQ(DecodeXmlText("&bogus; &#xD800; &#; & &amp"), "&bogus; &#xD800; &#; & &amp");

  // Anything else is no request.
  for (const char* text :
       {"", "<invoke>", "<invoke name=\"videoStartPaly", "<invoke name=\"videoStartPaly\">",
        "<invoke name=\"videoStartPaly\"><string>unterminated",
        "<invoke name=\"VideoStartPaly\"><arguments><string>u</string></arguments></invoke>",
        "name=\"videoStartPaly\"<string>u</string>"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseRequest(text).kind, RequestKind::Unknown);
  }
  EXPECT_EQ(ParseRequest("<invoke name=\"videoStopPaly\"/>").kind, RequestKind::Unknown);
}

TEST(PlayTextTest, FieldsInKilobytesAndSecondsWhateverTheLocale) {
  PlayFigures f;
  f.maxRate = 921600;  // 900 KB/s
  f.loadingSeconds = 1.2;
  f.totalBytes = 5120000 + 1023;
  f.averageRate = 460800.04;
  f.loadedBytes = 5118976;
  f.totalSeconds = 11;
  f.completed = true;
  const std::string expected = "900.0#1.20#5000#450.0#4999#11.00#true";
  EXPECT_EQ(ResultFields(f), expected);
  for (const char* name : testsupport::kForeignLocales) {
    testsupport::ScopedLocale locale(name);
    if (locale.Active()) EXPECT_EQ(ResultFields(f), expected) << name;
  }
  f.completed = false;
  f.maxRate = 1535.9;
  f.loadingSeconds = 0.004;
  EXPECT_EQ(ResultFields(f), "1.5#0.00#5000#450.0#4999#11.00#false");

  EXPECT_EQ(InvokeText("fail", "a<b"),
            "<invoke name=\"fail\" returntype=\"xml\"><arguments><string>a&lt;b</string>"
            "</arguments></invoke>");
}

TEST(PlayTextTest, HighestWholeSecondOrTheAverageOfAShortLoad) {
  SecondBins bins;
  EXPECT_EQ(bins.MaxRate(0), 0);
  bins.Add(0.0, 1000);
  bins.Add(0.5, 1000);
  EXPECT_DOUBLE_EQ(bins.MaxRate(0.5), 4000);  // under a second: 2000 B in 0.5 s
  bins.Add(1.2, 5000);
  bins.Add(1.9, 1000);
  bins.Add(2.1, 9000);  // the last second is not whole
  EXPECT_DOUBLE_EQ(bins.MaxRate(2.1), 6000);
  EXPECT_DOUBLE_EQ(bins.MaxRate(3.0), 9000);
}

// What the engine sees when the library is missing or is not the player: no control, and why.
TEST(PlayerLoaderTest, NoControlWithoutThePlayerLibrary) {
  std::string error;
  EXPECT_FALSE(CreatePlayerControl("/nonexistent/libVideoPlayer.so", nullptr, &error));
  EXPECT_NE(error.find("libVideoPlayer.so"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(CreatePlayerControl(testsupport::DistPath("libNetworkStatus.so"), nullptr, &error));
  EXPECT_NE(error.find("lacks the player exports"), std::string::npos) << error;
  EXPECT_EQ(LibraryPath().substr(LibraryPath().rfind('/') + 1), "libVideoPlayer.so");
}
