// The resolvers against the lab's video sites: real pages, real replies, the bad ones too.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/wait.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "core/properties_file.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "video/video_resolvers.h"

using video::ResolveOrder;
using Strings = std::vector<std::string>;

namespace {

class VideoLabTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    m_lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--video", "--video-media-size=1000"});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    CopyFromDist("conf/config.properties");
    PointVideoHostsAtLab(m_folder, *m_lab);
    m_base = m_lab->Url("video");
  }
  void TearDown() override {
    video::SetLimitsForTest(0, 0);
    ProgramFolderTest::TearDown();
  }

  // A resolver on the real network with a fixed clock and generator, so youku's sid is known.
  static video::VideoResolver Resolver() {
    video::ResolverSeams seams;
    seams.nowMs = [] { return int64_t{1700000000123}; };
    seams.draw = [](uint32_t) { return std::make_pair(2000, 9500); };
    return video::VideoResolver(seams);
  }

  // The lab's requests since the last reset, as "target" strings; every one must carry the
  // resolver's agent.
  Strings Targets() {
    Strings out;
    for (const LabRequest& r : m_lab->Requests("video")) {
      EXPECT_EQ(r.method, "GET");
      EXPECT_EQ(r.Header("User-Agent"), "Kestrane") << r.target;
      out.push_back(r.target);
    }
    return out;
  }

  Strings Resolve(const std::string& path, ResolveOrder order = ResolveOrder::Manual) {
    EXPECT_TRUE(m_lab->Reset("video"));
    return Resolver().Resolve(m_base + path, order);
  }

  std::unique_ptr<LabProcess> m_lab;
  std::string m_base;
};

const char* const kYouku = "/youku/v_show/id_XNTc2MjE0NjQ4.html";
const char* const kTudou = "/tudou/programs/view/b5NnXj2Ua2g/";
const char* const kAlbum = "/tudou/albumplay/Lqfme5hSolM/XNTc2MjE0NjQ4.html";
const char* const kKu6 = "/ku6/show/Lx2aCvdgqXJdJrzQ.html";
const char* const kLetv = "/letv/ptv/vplay/1937486.html";
const char* const kSina = "/sina/video/120519357.html";
const char* const kSohu = "/sohu/20130520/n376446434.shtml";
const char* const kIfeng = "/ifeng/video/detail_2013_05/20/25492016_0.shtml";

}  // namespace

TEST_F(VideoLabTest, EachSitePageGivesItsMediaAddressesAfterTheRequestsOfItsSite) {
  const std::string m = m_base + "/media/";

  EXPECT_EQ(Resolve(kKu6),
            (Strings{m + "ku6/Lx2aCvdgqXJdJrzQ/1.f4v", m + "ku6/Lx2aCvdgqXJdJrzQ/2.f4v",
                     m + "ku6/Lx2aCvdgqXJdJrzQ/3.f4v"}));
  EXPECT_EQ(Targets(), (Strings{kKu6, "/ku6/fetch.htm?t=getVideo4Player&vid=Lx2aCvdgqXJdJrzQ"}));

  EXPECT_EQ(Resolve(kLetv), Strings{m + "letv/1937486/350.mp4"});
  EXPECT_EQ(Targets(), (Strings{kLetv, "/letv/v_xml/1937486.xml"}));

  EXPECT_EQ(Resolve(kSina), (Strings{m + "sina/120519357/1.flv", m + "sina/120519357/2.flv"}));
  EXPECT_EQ(Targets(), (Strings{kSina, "/sina/v_play.php?vid=120519357"}));
  // An identifier after "#" needs no page.
  EXPECT_EQ(Resolve("/sina/video/x.html#12345"),
            (Strings{m + "sina/12345/1.flv", m + "sina/12345/2.flv"}));
  EXPECT_EQ(Targets(), Strings{"/sina/v_play.php?vid=12345"});

  const Strings sohu = Resolve(kSohu);
  ASSERT_EQ(sohu.size(), 1u);
  EXPECT_TRUE(
      std::regex_match(sohu[0], std::regex(m + "sohu/376446434/clip1\\.mp4\\?key=[0-9a-f]{8}")))
      << sohu[0];
  EXPECT_EQ(Targets(), (Strings{kSohu, "/sohu/videinfo.jhtml?m=viewtv&vid=376446434",
                                "/sohu/dispatch/?prot=2&file=" + m +
                                    "sohu/376446434/clip1.mp4&new=/376446434/clip1.mp4"}));

  EXPECT_EQ(Resolve(kIfeng), (Strings{m + "ifeng/25492016_0/1.mp4", m + "ifeng/25492016_0/2.mp4"}));
  EXPECT_EQ(Targets(), Strings{"/ifeng/video_info_new/_/_0/25492016_0.xml"});

  const Strings tudou = Resolve(kTudou);
  ASSERT_EQ(tudou.size(), 2u);
  std::smatch iid;
  ASSERT_TRUE(
      std::regex_match(tudou[0], iid, std::regex(m + "tudou/(\\d+)/1\\.flv\\?key=a1&id=tudou")));
  EXPECT_EQ(tudou[1], m + "tudou/" + iid[1].str() + "/2.flv?key=b2&id=tudou");
  EXPECT_EQ(Targets(), (Strings{kTudou, "/tudou/v?vn=02&st=1%2C2&it=" + iid[1].str()}));

  // youku: the file id of each segment is the video's own identifier as the lab encoded it.
  const std::string flv = m_base + "/youku/player/getFlvPath/sid/170000000012310021500_";
  for (const char* page : {kYouku, kAlbum}) {
    const Strings youku = Resolve(page);
    ASSERT_EQ(youku.size(), 3u) << page;
    for (int j = 0; j < 3; ++j)
      EXPECT_TRUE(std::regex_match(
          youku[j], std::regex(flv + "0" + std::to_string(j) + "/st/flv/fileid/XNTc2MjE0" +
                               std::to_string(j) + "jQ4\\?K=[0-9a-f]{8}")))
          << youku[j];
    const Strings asked = Targets();
    EXPECT_EQ(asked.back(), "/youku/player/getPlayList/VideoIDS/XNTc2MjE0NjQ4");
    EXPECT_EQ(asked.size(), page == kYouku ? 1u : 2u);

    // The file path sends the player on to the media, which is served whole.
    ASSERT_TRUE(m_lab->Reset("video"));
    EXPECT_FALSE(video::FetchText(youku[0]).empty());
    const Strings followed = Targets();
    ASSERT_EQ(followed.size(), 2u);
    EXPECT_EQ(followed[1],
              "/media/youku/XNTc2MjE00jQ4.flv?K=" + youku[0].substr(youku[0].size() - 8));
    // The lab counts what it sent once the send returns, which may be after the client has it.
    EXPECT_TRUE(testsupport::WaitFor([&] {
      const std::vector<LabRequest> media = m_lab->Requests("video");
      return !media.empty() && media.back().bodySent == 1000;
    }));
  }
}

TEST_F(VideoLabTest, ASiteWithoutAHostSendsNothing) {
  PropertiesFile config(At("conf/config.properties"));
  config.Load();
  config.Set("video_host_ku6", "");
  config.Save(false);
  EXPECT_TRUE(Resolve(kKu6).empty());
  EXPECT_TRUE(Targets().empty());
  EXPECT_EQ(m_lab->Stats("video").requests, 0);
  // The others still resolve.
  EXPECT_EQ(Resolve(kLetv).size(), 1u);
}

TEST_F(VideoLabTest, BadRepliesAndFaultsGiveNothingWithinTheBound) {
  constexpr int kFetchMs = 700, kTotalMs = 2000;
  video::SetLimitsForTest(kFetchMs, kTotalMs);
  const struct {
    const char* site;
    const char* page;
    const char* service;  // where the faults go
  } sites[] = {
      {"ku6", kKu6, "/ku6/fetch.htm"},
      {"letv", kLetv, "/letv/v_xml/*"},
      {"youku", kYouku, "/youku/player/*"},
      {"tudou", kTudou, "/tudou/v"},
      {"sina", kSina, "/sina/v_play.php"},
      {"sohu", kSohu, "/sohu/videinfo.jhtml"},
      {"ifeng", kIfeng, "/ifeng/video_info_new/*"},
  };
  for (const auto& s : sites) {
    for (const char* mode : {"badjson", "missing", "errorpage", "empty"}) {
      ASSERT_TRUE(m_lab->Set("video", "reply", std::string(s.site) + ":" + mode));
      EXPECT_TRUE(Resolve(s.page).empty()) << s.site << " " << mode;
    }
    ASSERT_TRUE(m_lab->Set("video", "reply", std::string(s.site) + ":ok"));
    EXPECT_FALSE(Resolve(s.page).empty()) << s.site;

    for (const char* fault : {"404", "stallhead", "close=10", "status=500"}) {
      ASSERT_TRUE(m_lab->SetFault("video", s.service, fault));
      const auto start = std::chrono::steady_clock::now();
      EXPECT_TRUE(Resolve(s.page).empty()) << s.site << " " << fault;
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
      EXPECT_LT(ms, kFetchMs + 1500) << s.site << " " << fault;
      ASSERT_TRUE(m_lab->ClearFaults("video"));
    }
  }
  // sohu's dispatch host failing leaves no address either.
  ASSERT_TRUE(m_lab->SetFault("video", "/sohu/dispatch/*", "close=3"));
  EXPECT_TRUE(Resolve(kSohu).empty());
  ASSERT_TRUE(m_lab->ClearFaults("video"));

  // Every fetch stalls: the resolution gives up at its own bound, not after each fetch's.
  video::SetLimitsForTest(2000, 2500);
  ASSERT_TRUE(m_lab->SetFault("video", "*", "stallhead"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Resolve(kKu6).empty());
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_GE(ms, 2400);
  EXPECT_LT(ms, 3500);
  EXPECT_EQ(Targets().size(), 2u);
}

TEST_F(VideoLabTest, TheCommandLineListsTheAddressesInEitherOrder) {
  auto cli = [&](const std::string& args, std::string* out) {
    const std::string file = m_folder + "/tmp/out";
    const int raw =
        std::system(("timeout 120 '" + testsupport::DistPath("kestrane-cli") + "' --folder '" +
                     m_folder + "' " + args + " >'" + file + "' 2>/dev/null </dev/null")
                        .c_str());
    *out = testsupport::ReadFile(file);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  std::string out;
  EXPECT_EQ(cli("resolve '" + m_base + kIfeng + "'", &out), 0);
  EXPECT_EQ(
      out, m_base + "/media/ifeng/25492016_0/1.mp4\n" + m_base + "/media/ifeng/25492016_0/2.mp4\n");

  // "ku6" comes first in the automatic order, "youku" in the manual one (which finds no id_).
  const std::string both = m_base + "/ku6/show/youku.html";
  EXPECT_EQ(cli("resolve --auto --json '" + both + "'", &out), 0);
  rapidjson::Document json;
  ASSERT_FALSE(json.Parse(out.c_str()).HasParseError()) << out;
  EXPECT_STREQ(json["site"].GetString(), "ku6");
  EXPECT_STREQ(json["order"].GetString(), "automatic");
  ASSERT_EQ(json["addresses"].Size(), 3u);
  EXPECT_EQ(json["addresses"][0].GetString(), m_base + "/media/ku6/youku/1.f4v");

  EXPECT_EQ(cli("resolve '" + both + "'", &out), 3);
  EXPECT_EQ(out, "");
  EXPECT_EQ(cli("resolve --json http://127.0.0.1:1/none", &out), 3);
  EXPECT_EQ(cli("resolve", &out), 1);
}
