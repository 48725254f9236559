// Text requests and the server time against the lab over loopback.

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>
#include <ctime>

#include "core/http_transport.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "lab_fixture.h"
#include "test_support.h"

namespace {

class TextRequestTest : public ProgramFolderTest {
 protected:
  void TearDown() override {
    transport::SetTextTimeoutsForTest(0, 0);
    ProgramFolderTest::TearDown();
  }
  std::string MainLog() const {
    char name[64];
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    strftime(name, sizeof name, "log/%Y-%m-%d.log", &local);
    return Read(name);
  }
};

}  // namespace

TEST(TransportHeads, StatusAndNumbersComeFromTheirOwnLines) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nDate: Mon, 14 Apr 2014 04:04:04 GMT\r\ncontent-length: 14048\r\n"
      "Content-Type: image/jpeg\r\n\r\n";
  EXPECT_EQ(transport::HeadStatus(head), 200);
  EXPECT_EQ(transport::HeadNumber(head, "Content-Length"), 14048);
  EXPECT_EQ(transport::HeadValue(head, "Content-Type"), "image/jpeg");
  EXPECT_EQ(transport::HeadNumber(head, "X-Missing"), -1);
  EXPECT_EQ(transport::HeadStatus("HTTP/1.0 404 Not Found\r\n\r\n"), 404);
  EXPECT_EQ(transport::HeadStatus("garbage 200\r\n\r\n"), 0);
  EXPECT_EQ(transport::HeadStatus("HTTP/1.1 2\r\n\r\n"), 0);
  // A status is three digits from 100 on, standing alone after a version.
  EXPECT_EQ(transport::HeadStatus("HTTP/H2 004"), 0);
  EXPECT_EQ(transport::HeadStatus("HTTP/1.1 099 Odd\r\n\r\n"), 0);
  EXPECT_EQ(transport::HeadStatus("HTTP/1.1 2000 OK\r\n\r\n"), 0);
  EXPECT_EQ(transport::HeadStatus("HTTP/ 200 OK\r\n\r\n"), 0);
  EXPECT_EQ(transport::HeadStatus("HTTP/1.1 204"), 204);
  EXPECT_EQ(transport::HeadStatus("HTTP/1.1 302\r\nLocation: /\r\n\r\n"), 302);
  EXPECT_EQ(transport::HeadStatus(""), 0);
  EXPECT_EQ(
      transport::HeadNumber("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n",
                            "Content-Length"),
      -1);
}

// Look-ups are bounded and stoppable, whatever the resolver does with a name it cannot find.
TEST(TransportUrls, LookUpsAreBoundedAndStoppable) {
  using Clock = std::chrono::steady_clock;
  transport::Endpoint to;
  ASSERT_TRUE(transport::Resolve("127.0.0.2", 8080, 1000, {}, &to));
  ASSERT_EQ(to.address.ss_family, AF_INET);
  EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in&>(to.address).sin_port), 8080);
  EXPECT_TRUE(transport::Resolve("::1", 80, 1000, {}, &to));
  EXPECT_EQ(to.address.ss_family, AF_INET6);

  auto started = Clock::now();
  EXPECT_FALSE(transport::Resolve("kestrane-lookup.invalid", 80, 300, {}, &to));
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000));
  started = Clock::now();
  const transport::Watch stopped{[] { return true; }, {}};
  EXPECT_FALSE(transport::Resolve("kestrane-lookup.invalid", 80, 5000, stopped, &to));
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000));
}

TEST(TransportUrls, SplitsServiceHostObjectAndPort) {
  transport::UrlParts u;
  ASSERT_TRUE(transport::ParseUrl("http://127.0.0.2:8080/speed/dovalid?key=1&flag=true", &u));
  EXPECT_EQ(u.scheme, "http");
  EXPECT_EQ(u.host, "127.0.0.2");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.object, "/speed/dovalid?key=1&flag=true");
  ASSERT_TRUE(transport::ParseUrl("HTTP://example.test", &u));
  EXPECT_EQ(u.scheme, "http");
  EXPECT_EQ(u.port, 80);
  EXPECT_EQ(u.object, "/");
  ASSERT_TRUE(transport::ParseUrl("https://[::1]/a?b#frag", &u));
  EXPECT_EQ(u.host, "::1");
  EXPECT_EQ(u.port, 443);
  EXPECT_EQ(u.object, "/a?b");
  ASSERT_TRUE(transport::ParseUrl("http://h?x=1", &u));
  EXPECT_EQ(u.object, "/?x=1");
  EXPECT_FALSE(transport::ParseUrl("no scheme", &u));
  EXPECT_FALSE(transport::ParseUrl("http://:80/", &u));
  EXPECT_FALSE(transport::ParseUrl("http://h:99999/", &u));
  EXPECT_FALSE(transport::ParseUrl("http://h:8a/", &u));
}

TEST_F(TextRequestTest, GetSendsTheHeadersInOrderAndKeepsUtf8) {
  LabProcess lab({"--test"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  std::string text = "stale";
  EXPECT_EQ(HttpGetText(lab.Url("test", "/speed/dovalid?key=测试&flag=true"), text), kHttpDone);
  EXPECT_EQ(text, "1,测试");

  auto requests = lab.Requests("test");
  ASSERT_EQ(requests.size(), 1u);
  const LabRequest& r = requests[0];
  EXPECT_EQ(r.method, "GET");
  std::vector<std::string> names;
  for (const auto& h : r.headers) names.push_back(h.first);
  EXPECT_EQ(names, (std::vector<std::string>{"Host", "User-Agent", "Accept", "Accept-Language",
                                             "Content-Type", "Accept-Encoding"}));
  EXPECT_EQ(r.Header("User-Agent"), kBrowserAgent);
  EXPECT_EQ(r.Header("Accept"), "*,*/*");
  EXPECT_EQ(r.Header("Accept-Language"), "zh-cn");
  EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.Header("Accept-Encoding"), "gzip, deflate");

  // An error status still answers with its body; a malformed UTF-8 byte does not survive.
  ASSERT_TRUE(lab.Set("test", "dovalid", "fail500"));
  EXPECT_EQ(HttpGetText(lab.Url("test", "/speed/dovalid?key=1"), text), kHttpDone);
  EXPECT_EQ(text, "");
}

TEST_F(TextRequestTest, FailuresAndTimeOutsHaveTheirCodes) {
  LabProcess lab({"--test", "--test-fault=/slow:stallhead"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  std::string text = "stale";

  // Not http: no connection at all.
  EXPECT_EQ(
      HttpGetText("ftp://" + lab.Address("test") + ":" + std::to_string(lab.Port("test")) + "/x",
                  text),
      kHttpFailure);
  EXPECT_EQ(text, "");
  EXPECT_EQ(HttpGetText("not a url", text), kHttpFailure);
  EXPECT_EQ(lab.Stats("test").connections, 0);

  // A closed port is a failure, not an empty answer.
  EXPECT_EQ(HttpGetText("http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/", text),
            kHttpFailure);

  // A server that accepts and never answers: a time-out within the idle time-out.
  transport::SetTextTimeoutsForTest(1000, 1000);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpGetText(lab.Url("test", "/slow"), text), kHttpTimeout);
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, std::chrono::seconds(4));
  EXPECT_GE(took, std::chrono::milliseconds(900));
}

TEST_F(TextRequestTest, PostUsesTheSessionAndLogs) {
  LabProcess lab({"--test", "--test-fault=/slow:stallhead"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  HttpSession session;
  std::string text;
  EXPECT_EQ(HttpPostForm(session, lab.Url("test", "/speed/dovalid?"), "key=4711", text), kHttpDone);
  EXPECT_EQ(text, "1");
  EXPECT_EQ(HttpPostForm(session, lab.Url("test", "/speed/dovalid?"), "key=4712", text), kHttpDone);
  LabStats stats = lab.Stats("test");
  EXPECT_EQ(stats.all["released"], "4711 4712");
  EXPECT_EQ(stats.connections, 1) << "the session keeps its connection";
  auto requests = lab.Requests("test");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine, "POST /speed/dovalid? HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Content-Length"), "8");
  EXPECT_EQ(requests[0].Header("Expect"), "");

  EXPECT_EQ(HttpPostForm(session, "ftp://x/", "key=1", text), kHttpFailure);
  transport::SetTextTimeoutsForTest(1000, 1000);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpPostForm(session, lab.Url("test", "/slow"), "key=1", text), kHttpTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));

  std::string log = MainLog();
  auto count = [&](const std::string& word) {
    size_t n = 0;
    for (size_t p = log.find(word); p != std::string::npos; p = log.find(word, p + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(",Post Begin\n"), 4u);
  EXPECT_EQ(count(",Post End\n"), 3u);
  EXPECT_EQ(count(",FAILURE\n"), 1u);
  EXPECT_EQ(count(",OUTTIME\n"), 1u);
}

TEST_F(TextRequestTest, ServerTimeUsesTheDateOfA200Only) {
  LabProcess lab({"--time", "--time-date=Tue, 15 Nov 1994 08:12:31 GMT"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("conf/config.properties", "time_server_url=" + lab.Url("time") + "/ignored/path\n");

  time_t stamp = 784887151;  // the lab's Date
  tm local{};
  localtime_r(&stamp, &local);
  char expected[64];
  snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
           local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  EXPECT_EQ(GetServerTime("%04d-%02d-%02d %02d:%02d:%02d"), expected);
  auto requests = lab.Requests("time");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "HEAD /speed/ HTTP/1.1");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Kestrane");

  // A redirect is not the time: the local clock.
  ASSERT_TRUE(lab.Set("time", "status", "302"));
  std::string year = GetServerTime("%04d");
  EXPECT_NE(year, "1994");
  time_t now = time(nullptr);
  localtime_r(&now, &local);
  EXPECT_EQ(year, std::to_string(local.tm_year + 1900));
  // Text requests, unlike the time request, follow the redirect.
  std::string text;
  ASSERT_TRUE(lab.Reset("time"));
  EXPECT_EQ(HttpGetText(lab.Url("time", "/speed/"), text), kHttpDone);
  EXPECT_EQ(text, "Not Found");
  EXPECT_EQ(lab.Stats("time").requests, 2);

  // Without the key, the management server's address is the time host.
  ASSERT_TRUE(lab.Set("time", "status", "200"));
  Write("conf/config.properties", "update_server_url=" + EncodeStoredValue(lab.Address("time")) +
                                      "\nweb_project_port=" + std::to_string(lab.Port("time")) +
                                      "\n");
  EXPECT_EQ(TimeServerBase(), lab.Url("time"));
  EXPECT_EQ(GetServerTime("%04d-%02d-%02d %02d:%02d:%02d"), expected);

  // No host at all, or a dead one: the local clock, never a failure.
  Write("conf/config.properties",
        "time_server_url=http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "\n");
  EXPECT_EQ(GetServerTime("%04d"), std::to_string(local.tm_year + 1900));
  Write("conf/config.properties", "");
  EXPECT_EQ(TimeServerBase(), "");
  EXPECT_EQ(GetServerTime("%04d"), std::to_string(local.tm_year + 1900));
}
