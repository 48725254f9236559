// The resolvers' cuts, driven through the fetch seam with hand-made pages and replies.
#include "video/video_resolvers.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/properties_file.h"
#include "test_support.h"

using video::ResolveOrder;
using video::Site;
using Strings = std::vector<std::string>;

namespace {

// A web of texts by address; every address asked for is noted, answered or not.
struct FakeWeb {
  std::map<std::string, std::string> texts;
  Strings asked;

  video::ResolverSeams Seams() {
    video::ResolverSeams seams;
    seams.fetch = [this](const std::string& url, int) {
      asked.push_back(url);
      auto it = texts.find(url);
      return it == texts.end() ? std::string() : it->second;
    };
    seams.host = [](Site site) { return std::string("http://h/") + video::SiteWord(site) + "/"; };
    seams.nowMs = [] { return int64_t{1700000000123}; };
    seams.draw = [this](uint32_t seed) {
      drawSeed = seed;
      return std::make_pair(2000, 9500);
    };
    return seams;
  }
  Strings Resolve(Site site, const std::string& page) {
    asked.clear();
    return video::VideoResolver(Seams()).ResolveSite(site, page);
  }
  uint32_t drawSeed = 0;
};

constexpr const char* kKu6Page = "http://v.ku6.com/show/a.html";
constexpr const char* kLetvPage = "http://www.letv.com/ptv/1.html";
constexpr const char* kTudouPage = "http://www.tudou.com/programs/view/x/";
constexpr const char* kSohuPage = "http://tv.sohu.com/2013/n1.shtml";

}  // namespace

TEST(VideoResolverCuts, Ku6FindsTheIdentifierByEachPatternAndEveryMediaAddress) {
  FakeWeb web;
  const std::string fetch = "http://h/ku6/fetch.htm?t=getVideo4Player&vid=";
  web.texts[fetch + "Ab.c-d_e"] =
      "{\"data\":{\"f\":\"http:\\/\\/m\\/1.f4v\",\"t\":\"\\u4e2d\"},\"list\":[{\"f\":\"http:\\/\\/"
      "m\\/\\u4e2d.f4v\"}]}";
  const struct {
    const char* page;
    const char* id;
  } pages[] = {
      {"var i = { vid:'Ab.c-d_e', t: 1 }", "Ab.c-d_e"},
      {"var i = { vid  :  'Ab.c-d_e' }", "Ab.c-d_e"},
      {"{\"vid\":\"X1\"}", "X1"},
      {"{\"vid\" : \"X1\" }", "X1"},
      {"var vid=Zz9;", "Zz9"},
      // The blanks after "=" are not part of the identifier.
      {"var vid =  Zz9 ;", "Zz9"},
  };
  for (const auto& p : pages) {
    web.texts[kKu6Page] = p.page;
    web.Resolve(Site::Ku6, kKu6Page);
    ASSERT_EQ(web.asked.size(), 2u) << p.page;
    EXPECT_EQ(web.asked[0], kKu6Page);
    EXPECT_EQ(web.asked[1], fetch + p.id) << p.page;
  }
  web.texts[kKu6Page] = "vid: 'Ab.c-d_e'";
  EXPECT_EQ(web.Resolve(Site::Ku6, kKu6Page), (Strings{"http://m/1.f4v", "http://m/中.f4v"}));

  // An occurrence at the very start is not looked at; a value without its closing quote ends it.
  web.texts[fetch + "Ab.c-d_e"] = "\"f\":\"skipped\",\"f\":\"b\",\"f\":\"c";
  EXPECT_EQ(web.Resolve(Site::Ku6, kKu6Page), Strings{"b"});

  // Without an identifier the service is still asked, with an empty one.
  web.texts[kKu6Page] = "<html>no identifier</html>";
  EXPECT_TRUE(web.Resolve(Site::Ku6, kKu6Page).empty());
  EXPECT_EQ(web.asked.back(), fetch);
}

TEST(VideoResolverCuts, LetvTriesEachIdentifierInOrderAndStopsAtATextThatIsNotJson) {
  FakeWeb web;
  auto xml = [](const std::string& playurl) {
    return "<?xml version=\"1.0\"?><root><mmsid>1</mmsid><playurl><![CDATA[" + playurl +
           "]]></playurl></root>";
  };
  auto good = [](const std::string& media) {
    return "{\"dispatch\":{\"350\":[\"" + media + "\",\"x\"],\"1000\":[\"y\",\"z\"]}}";
  };
  const struct {
    const char* page;
    const char* id;
  } pages[] = {
      {"{vid:123,pid:1}", "123"},
      // The blanks around the number are dropped.
      {"{vid: 123 ,pid:1}", "123"},
      {"var vid = 45 ;", "45"},
      {"var vid=45", "45"},
      {"xid : 67 }", "67"},
  };
  for (const auto& p : pages) {
    web.texts[kLetvPage] = p.page;
    web.texts[std::string("http://h/letv/v_xml/") + p.id + ".xml"] =
        xml(good("m" + std::string(p.id)));
    EXPECT_EQ(web.Resolve(Site::Letv, kLetvPage), Strings{"m" + std::string(p.id)}) << p.page;
  }

  web.texts[kLetvPage] = "var info = { pcid: [ \"11\", \"22\" ] , more: [\"33\"] };";
  web.texts["http://h/letv/v_xml/11.xml"] = xml(good("m11"));
  web.texts["http://h/letv/v_xml/22.xml"] = xml(good("m22"));
  EXPECT_EQ(web.Resolve(Site::Letv, kLetvPage), (Strings{"m11", "m22"}));
  EXPECT_EQ(web.asked,
            (Strings{kLetvPage, "http://h/letv/v_xml/11.xml", "http://h/letv/v_xml/22.xml"}));

  web.texts["http://h/letv/v_xml/11.xml"] = xml("not json");
  EXPECT_TRUE(web.Resolve(Site::Letv, kLetvPage).empty());
  EXPECT_EQ(web.asked.size(), 2u);

  // Members of another type are passed over, not read.
  for (const char* odd :
       {"[1,2]", "{\"dispatch\":[]}", "{\"dispatch\":{\"350\":\"x\"}}",
        "{\"dispatch\":{\"350\":[\"only\"]}}", "{\"dispatch\":{\"350\":[1,\"x\"]}}"}) {
    web.texts["http://h/letv/v_xml/11.xml"] = xml(odd);
    EXPECT_EQ(web.Resolve(Site::Letv, kLetvPage), Strings{"m22"}) << odd;
  }

  // A playurl longer than 2047 characters is read whole.
  const std::string longMedia = "http://m/" + std::string(3000, 'a');
  web.texts["http://h/letv/v_xml/11.xml"] = xml(good(longMedia));
  EXPECT_EQ(web.Resolve(Site::Letv, kLetvPage), (Strings{longMedia, "m22"}));
}

TEST(VideoResolverCuts, YoukuMixedAlphabetAndFileIdMatchAnIndependentComputation) {
  // Computed apart from this code: the shuffle in double precision, seed 1234.
  const std::string golden =
      "DE2yHliTtPgX3qd1\\s:0aoNCkpn9m.4cSrLIQ_xMK6bjO87Rev5WufA-GVUhZYBF/wzJ";
  EXPECT_EQ(video::youku::MixedAlphabet(1234), golden);
  // Wrapped to 32 bits first: 2^32 + 1234 is 1234; 2^31 is negative.
  EXPECT_EQ(video::youku::MixedAlphabet((int64_t{1} << 32) + 1234), golden);
  EXPECT_EQ(video::youku::MixedAlphabet(int64_t{1} << 31), "");
  EXPECT_EQ(video::youku::MixedAlphabet(-5), "");
  // The largest seed overflows 32 bits in the first step; the 64-bit product wraps to a
  // negative number and the shuffle stops.
  EXPECT_EQ(video::youku::MixedAlphabet(INT32_MAX), "");

  std::string id;
  ASSERT_TRUE(video::youku::FileId(golden, "18*5*60*43*12*7*0*67*33*21*49*2*", &id));
  EXPECT_EQ(id, ":lZj3TDJrov2");
  EXPECT_FALSE(video::youku::FileId(golden, "1*68*", &id));
  EXPECT_FALSE(video::youku::FileId(golden, "1*-1*", &id));
  EXPECT_FALSE(video::youku::FileId(golden, "1*x*", &id));

  EXPECT_EQ(video::youku::SidValue(1700000000123, 2000, 9500), "170000000012310021500");
  // The run-time generator's well-known sequence for seed 1.
  video::SmallRandom random(1);
  EXPECT_EQ(random.Next(), 41);
  EXPECT_EQ(random.Next(), 18467);
  EXPECT_EQ(random.Next(), 6334);
}

TEST(VideoResolverCuts, YoukuBuildsOneAddressPerSegmentOrNone) {
  FakeWeb web;
  const std::string list = "http://h/youku/player/getPlayList/VideoIDS/XMTIz";
  std::string segs;
  for (int j = 0; j < 13; ++j)
    segs += std::string(j ? "," : "") + "{\"no\":\"" + std::to_string(j) + "\",\"size\":\"1\"" +
            (j < 2 ? ",\"k\":\"key" + std::to_string(j) + "\",\"k2\":\"q\"" : "") + "}";
  auto reply = [&](const std::string& seed, const std::string& ids) {
    return "{\"data\":[{\"seed\":" + seed + ",\"streamfileids\":{\"flv\":\"" + ids +
           "\"},\"segs\":{\"flv\":[" + segs + "]}}]}";
  };
  web.texts[list] = reply("1234", "18*5*60*43*12*7*0*67*33*21*49*2*");
  const Strings got = web.Resolve(Site::Youku, "http://v.youku.com/v_show/id_XMTIz.html");
  EXPECT_EQ(web.asked, Strings{list});
  EXPECT_EQ(web.drawSeed, 1700000000u);
  ASSERT_EQ(got.size(), 13u);
  const std::string sid = "http://h/youku/player/getFlvPath/sid/170000000012310021500_";
  EXPECT_EQ(got[0], sid + "00/st/flv/fileid/:lZj3TDJ00v2?K=key0");
  EXPECT_EQ(got[1], sid + "01/st/flv/fileid/:lZj3TDJ01v2?K=key1");
  // Fewer keys than segments: the rest get an empty key.
  EXPECT_EQ(got[3], sid + "03/st/flv/fileid/:lZj3TDJ03v2?K=");
  EXPECT_EQ(got[12], sid + "12/st/flv/fileid/:lZj3TDJ12v2?K=");

  // Every marker missing, a bad seed or a bad file id: no segment at all.
  const std::string bad[] = {
      reply("-1", "18*5*60*43*12*7*0*67*33*21*49*2*"),
      reply("3000000000", "18*5*60*43*12*7*0*67*33*21*49*2*"),
      reply("1234", "18*5*60*43*12*7*0*68*33*21*49*2*"),
      reply("1234", "18*5*60*43*12*7*0*67*33*"),  // a file id under ten characters
      [&] {
        std::string r = reply("1234", "18*5*60*43*12*7*0*67*33*21*49*2*");
        return r.replace(r.find("segs"), 4, "sags");
      }(),
      "{\"seed\":1234,\"streamfileids\":{\"flv\":\"18*5*60*43*12*7*0*67*33*21*49*2*\"}}",
      "{\"segs\":{\"flv\":[{\"no\":\"0\"}]},\"streamfileids\":{\"flv\":\"18*5*60*43*12*7*0*67*33*"
      "21*49*2*\"}}",
      "{\"seed\":1234,\"segs\":{\"flv\":[{\"no\":\"0\"}]}}",
      "{\"seed\":1234}",
      "seed",
  };
  for (const auto& r : bad) {
    web.texts[list] = r;
    EXPECT_TRUE(web.Resolve(Site::Youku, "http://v.youku.com/v_show/id_XMTIz.html").empty()) << r;
  }
  // No identifier in the address: nothing is asked.
  EXPECT_TRUE(web.Resolve(Site::Youku, "http://v.youku.com/v_show/XMTIz").empty());
  EXPECT_TRUE(web.asked.empty());
}

TEST(VideoResolverCuts, TudouItemsAndAlbums) {
  FakeWeb web;
  const std::string item = "http://h/tudou/v?vn=02&st=1%2C2&it=";
  web.texts[item + "1234"] =
      "<v><f w=\"1\">http://m/1.flv?a=1&amp;b=2</f><f>http://m/2.flv</f><f>http://m/3";
  for (const char* page : {"var c = { iid: 1234, x: 1 }", "iid:1234"}) {
    web.texts[kTudouPage] = page;
    EXPECT_EQ(web.Resolve(Site::Tudou, kTudouPage),
              (Strings{"http://m/1.flv?a=1&b=2", "http://m/2.flv"}));
    EXPECT_EQ(web.asked.back(), item + "1234");
  }
  web.texts[kTudouPage] = "no item here";
  EXPECT_TRUE(web.Resolve(Site::Tudou, kTudouPage).empty());
  EXPECT_EQ(web.asked.size(), 1u);

  // Album pages name a youku video; a play list without "flv" ends it.
  const std::string album = "http://www.tudou.com/albumplay/x/y.html";
  web.texts[album] = "var p = { vcode: 'XMTIz', lid: 1 };";
  web.texts["http://h/youku/player/getPlayList/VideoIDS/XMTIz"] = "{\"seed\":1234}";
  EXPECT_TRUE(web.Resolve(Site::Tudou, album).empty());
  EXPECT_EQ(web.asked, (Strings{album, "http://h/youku/player/getPlayList/VideoIDS/XMTIz"}));
}

TEST(VideoResolverCuts, SinaTakesTheIdentifierAfterTheHashWithoutFetchingThePage) {
  FakeWeb web;
  web.texts["http://h/sina/v_play.php?vid=12345"] =
      "<video><vname><![CDATA[\xe5\xae\x9e\xff]]></vname><durl><url><![CDATA[http://m/1.flv]]></"
      "url></durl>"
      "<durl><url><![CDATA[http://m/\xe4\xb8\xad.flv]]></url></durl><url>http://m/cut";
  const Strings media = {"http://m/1.flv", "http://m/中.flv"};
  EXPECT_EQ(web.Resolve(Site::Sina, "http://video.sina.com.cn/p/x.html#12345"), media);
  EXPECT_EQ(web.asked, Strings{"http://h/sina/v_play.php?vid=12345"});

  web.texts["http://video.sina.com.cn/p/x.html"] = "var s = { vid:'12345', t:'x' };";
  EXPECT_EQ(web.Resolve(Site::Sina, "http://video.sina.com.cn/p/x.html"), media);
  EXPECT_EQ(web.asked.size(), 2u);
}

TEST(VideoResolverCuts, SohuAsksTheDispatchHostOfItsReplyAndJoinsTheParts) {
  FakeWeb web;
  const std::string info = "http://h/sohu/videinfo.jhtml?m=viewtv&vid=";
  web.texts[info + "123"] =
      "{\"allot\":\"d.example/x\",\"prot\":3,\"data\":{\"clipsURL\":[\"c\",\"c2\"],\"su\":[\"/"
      "x.mp4\"]}}";
  const std::string dispatch = "http://d.example/x/?prot=3&file=c&new=/x.mp4";
  web.texts[dispatch] = "a|b|c|d";
  for (const char* page :
       {"var vid='123';", "var vid = '123' ;", "var vid=\"123\";", "vid = \"123\" ; x"}) {
    web.texts[kSohuPage] = page;
    EXPECT_EQ(web.Resolve(Site::Sohu, kSohuPage), Strings{"a/x.mp4?key=d"}) << page;
    EXPECT_EQ(web.asked, (Strings{kSohuPage, info + "123", dispatch}));
  }
  // A short reply or one without a host part gives no address.
  for (const char* reply : {"a|b", "|b|c|d", ""}) {
    web.texts[dispatch] = reply;
    EXPECT_TRUE(web.Resolve(Site::Sohu, kSohuPage).empty()) << reply;
  }
  // Members of the wrong type read as missing; without allot nothing more is asked.
  for (const char* odd :
       {"{\"allot\":5,\"data\":{\"su\":[\"/x\"]}}", "[]", "{\"allot\":\"\"}", "not json"}) {
    web.texts[info + "123"] = odd;
    EXPECT_TRUE(web.Resolve(Site::Sohu, kSohuPage).empty()) << odd;
    EXPECT_EQ(web.asked.size(), 2u);
  }
  web.texts[info + "123"] =
      "{\"allot\":\"d.example\",\"prot\":\"3\",\"data\":{\"clipsURL\":{},\"su\":[7]}}";
  web.texts["http://d.example/?prot=0&file=&new="] = "a|b|c|d";
  EXPECT_EQ(web.Resolve(Site::Sohu, kSohuPage), Strings{"a?key=d"});
}

TEST(VideoResolverCuts, IfengAsksByTheGuidOfTheAddress) {
  FakeWeb web;
  web.texts["http://h/ifeng/video_info_new/c/cd/0123abcd.xml"] =
      "<?xml version=\"1.0\"?><PlayList><item VideoPlayUrl=\"http://m/1.mp4\"/><other "
      "VideoPlayUrl=\"no\"/>"
      "<item Name=\"x\" VideoPlayUrl=\"http://m/2.mp4\"><item "
      "VideoPlayUrl=\"deep\"/></item></PlayList>";
  EXPECT_EQ(web.Resolve(Site::Ifeng, "http://v.ifeng.com/news/0123abcd.shtml"),
            (Strings{"http://m/1.mp4", "http://m/2.mp4"}));
  EXPECT_EQ(web.asked, Strings{"http://h/ifeng/video_info_new/c/cd/0123abcd.xml"});
  // A guid under two characters asks nothing.
  EXPECT_TRUE(web.Resolve(Site::Ifeng, "http://v.ifeng.com/news/a.shtml").empty());
  EXPECT_TRUE(web.Resolve(Site::Ifeng, "http://v.ifeng.com/news/").empty());
  EXPECT_TRUE(web.asked.empty());
}

TEST(VideoResolverCuts, TheSiteWordChoosesTheResolverInEachOrder) {
  FakeWeb web;
  const std::string page = "http://x/ku6/youku/id_abc.html";
  web.texts[page] = "vid: 'k'";
  video::Site site;
  ASSERT_TRUE(video::SiteOf(page, ResolveOrder::Automatic, &site));
  EXPECT_EQ(site, Site::Ku6);
  ASSERT_TRUE(video::SiteOf(page, ResolveOrder::Manual, &site));
  EXPECT_EQ(site, Site::Youku);
  EXPECT_FALSE(video::SiteOf("http://x/other", ResolveOrder::Manual, &site));

  video::VideoResolver resolver(web.Seams());
  resolver.Resolve(page, ResolveOrder::Automatic);
  EXPECT_EQ(web.asked, (Strings{page, "http://h/ku6/fetch.htm?t=getVideo4Player&vid=k"}));
  web.asked.clear();
  resolver.Resolve(page, ResolveOrder::Manual);
  EXPECT_EQ(web.asked, Strings{"http://h/youku/player/getPlayList/VideoIDS/abc"});
  web.asked.clear();
  EXPECT_TRUE(resolver.Resolve("http://x/other", ResolveOrder::Manual).empty());
  EXPECT_TRUE(web.asked.empty());
}

TEST(VideoResolverCuts, UnescapeWritesUtf8) {
  using video::Unescape;
  EXPECT_EQ(Unescape("a\\fb\\nc\\rd\\te"), "a\fb\nc\rd\te");
  EXPECT_EQ(Unescape("\\u4E2d\\u0041"), "中A");
  EXPECT_EQ(Unescape("\\ud83d\\ude00!"), "\xf0\x9f\x98\x80!");
  EXPECT_EQ(Unescape("\\ud83dx"), "?x");
  EXPECT_EQ(Unescape("\\ude00"), "?");
  EXPECT_EQ(Unescape("a\\u0000b"), "ab");
  EXPECT_EQ(Unescape("\\u12"), "u12");
  EXPECT_EQ(Unescape("\\uzzzz"), "uzzzz");
  EXPECT_EQ(Unescape("\\/\\\"\\\\\\q"), "/\"\\q");
  EXPECT_EQ(Unescape("end\\"), "end\\");
  EXPECT_EQ(video::Utf8ToAnsi("ok \xe4\xb8\xad \xff"), "ok 中 ?");
}

TEST(VideoResolverCuts, LongPagesAreCutAndSearchedWhole) {
  FakeWeb web;
  // The identifier past the first 4 MiB is never seen.
  web.texts[kTudouPage] = std::string(video::kMaxTextBytes, ' ') + "iid: 1";
  EXPECT_TRUE(web.Resolve(Site::Tudou, kTudouPage).empty());
  EXPECT_EQ(web.asked.size(), 1u);
  // A greedy pattern over a long run of quotes matches up to the last one; the code is still
  // the text between the first two.
  std::string quotes = "vcode:'";
  for (int i = 0; i < 200000; ++i) quotes += "vcode:'a";
  web.texts["http://www.tudou.com/albumplay/x.html"] = quotes;
  EXPECT_TRUE(web.Resolve(Site::Tudou, "http://www.tudou.com/albumplay/x.html").empty());
  EXPECT_EQ(web.asked.back(), "http://h/youku/player/getPlayList/VideoIDS/vcode:");
}

class VideoHostTest : public ProgramFolderTest {};

TEST_F(VideoHostTest, SiteHostsComeFromTheConfigurationAtEachResolution) {
  EXPECT_EQ(video::NormalizeHost(" http://a:81/p/ "), "http://a:81/p");
  EXPECT_EQ(video::NormalizeHost("https://a//"), "https://a");
  EXPECT_EQ(video::NormalizeHost("null"), "");
  EXPECT_EQ(video::NormalizeHost("ftp://a"), "");
  EXPECT_EQ(video::NormalizeHost("a.example"), "");

  Write("conf/config.properties", "video_host_ku6=http://k.example:8/base/\nvideo_host_letv=\n");
  EXPECT_EQ(video::ConfiguredHost(Site::Ku6), "http://k.example:8/base");
  EXPECT_EQ(video::ConfiguredHost(Site::Letv), "");
  EXPECT_EQ(video::ConfiguredHost(Site::Sina), "");

  Strings asked;
  video::ResolverSeams seams;
  seams.fetch = [&](const std::string& url, int) {
    asked.push_back(url);
    return std::string("vid: 'z'");
  };
  video::VideoResolver resolver(seams);
  resolver.Resolve("http://p/ku6/1.html", ResolveOrder::Automatic);
  EXPECT_EQ(asked, (Strings{"http://p/ku6/1.html",
                            "http://k.example:8/base/fetch.htm?t=getVideo4Player&vid=z"}));
  // An empty or absent key: that site sends nothing.
  asked.clear();
  resolver.Resolve("http://p/letv/1.html", ResolveOrder::Automatic);
  resolver.Resolve("http://p/sina/1.html#5", ResolveOrder::Automatic);
  EXPECT_TRUE(asked.empty());
  // Read again at the next resolution.
  Write("conf/config.properties", "video_host_letv=http://l.example\n");
  resolver.Resolve("http://p/letv/1.html", ResolveOrder::Automatic);
  EXPECT_EQ(asked.size(), 1u);
}
