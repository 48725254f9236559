// The lab itself: what tests of the clients rely on (exact recording, exact faults).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "lab_fixture.h"
#include "test_support.h"

namespace {

// Sends `request` raw and reads until the server closes or `timeoutMs` passes without data.
std::string Exchange(const std::string& address, int port, const std::string& request,
                     int timeoutMs = 3000) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return "";
  }
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string out;
  char buf[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) break;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return out;
}

std::string Get(const LabProcess& lab, const std::string& role, const std::string& target,
                int timeoutMs = 3000) {
  return Exchange(lab.Address(role), lab.Port(role),
                  "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", timeoutMs);
}

size_t BodySize(const std::string& reply) {
  size_t e = reply.find("\r\n\r\n");
  return e == std::string::npos ? 0 : reply.size() - e - 4;
}

}  // namespace

TEST(LabServer, RecordsRequestsByteForByte) {
  LabProcess lab({"--test"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  const std::string request =
      "POST /speed/doload.do?r=1 HTTP/1.1\r\nZ-Last: 1\r\nHost: h\r\nA-First: 2\r\n"
      "Content-Length: 5\r\n\r\nhello";
  std::string reply = Exchange(lab.Address("test"), lab.Port("test"), request, 500);
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;

  auto requests = lab.Requests("test");
  ASSERT_EQ(requests.size(), 1u);
  const LabRequest& r = requests[0];
  EXPECT_EQ(r.head, request.substr(0, request.size() - 5));
  EXPECT_EQ(r.requestLine, "POST /speed/doload.do?r=1 HTTP/1.1");
  ASSERT_EQ(r.headers.size(), 4u);
  EXPECT_EQ(r.headers[0].first, "Z-Last");
  EXPECT_EQ(r.headers[2].first, "A-First");
  EXPECT_EQ(r.bodyReceived, 5);
  EXPECT_TRUE(r.complete);
  LabStats s = lab.Stats("test");
  EXPECT_EQ(s.bytesReceived, static_cast<int64_t>(request.size()));
  EXPECT_EQ(s.bodyBytes, 5);
  EXPECT_EQ(s.all["uploads"], "1");

  ASSERT_TRUE(lab.Reset("test"));
  EXPECT_EQ(lab.Stats("test").requests, 0);
  EXPECT_TRUE(lab.Requests("test").empty());
}

TEST(LabServer, MultipartPayloadExcludesFraming) {
  LabProcess lab({"--test"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  const std::string boundary = "----------------63686572697368";
  std::string preamble = "--" + boundary +
                         "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n\r\n";
  std::string trailer = "\r\n--" + boundary + "--\r\n";
  std::string file(3000, 'x');
  std::string body = preamble + file + trailer;
  std::string head = "POST /speed/doload.do HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=" +
                     boundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  Exchange(lab.Address("test"), lab.Port("test"), head + body, 500);
  // Cut off mid-file: only what arrived counts.
  Exchange(lab.Address("test"), lab.Port("test"), head + preamble + file.substr(0, 1000), 100);
  ASSERT_TRUE(lab.WaitIdle("test"));
  auto requests = lab.Requests("test");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].payload, 3000);
  EXPECT_EQ(requests[1].payload, 1000);
  EXPECT_FALSE(requests[1].complete);
  EXPECT_EQ(lab.Stats("test").payloadBytes, 4000);
}

TEST(LabServer, TestFilesSlotsAndFaults) {
  LabProcess lab({"--test", "--test-fault=/speed/1MB.txt:close=1000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();

  std::string reply = Get(lab, "test", "/speed/1KB.txt");
  EXPECT_NE(reply.find("Content-Length: 1024\r\n"), std::string::npos);
  EXPECT_EQ(BodySize(reply), 1024u);
  EXPECT_EQ(BodySize(Get(lab, "test", "/speed/1000001B.bin")), 1000001u);
  EXPECT_NE(Get(lab, "test", "/speed/nosize.txt").find(" 404 "), std::string::npos);

  EXPECT_NE(Get(lab, "test", "/speed/dovalid?key=77&flag=true").find("\r\n\r\n1,77"), std::string::npos);
  ASSERT_TRUE(lab.Set("test", "dovalid", "queued"));
  ASSERT_TRUE(lab.Set("test", "queue", "1"));
  EXPECT_NE(Get(lab, "test", "/speed/dovalid?key=5").find("\r\n\r\n2,5"), std::string::npos);
  EXPECT_NE(Get(lab, "test", "/speed/dovalid?key=5").find("\r\n\r\n1,5"), std::string::npos);
  ASSERT_TRUE(lab.Set("test", "dovalid", "busy"));
  EXPECT_NE(Get(lab, "test", "/speed/dovalid?key=5").find("\r\n\r\n0,5"), std::string::npos);
  ASSERT_TRUE(lab.Set("test", "dovalid", "fail500"));
  EXPECT_NE(Get(lab, "test", "/speed/dovalid?key=5").find("HTTP/1.1 500"), std::string::npos);
  EXPECT_FALSE(lab.Set("test", "dovalid", "nonsense"));

  // close=N: exactly N body bytes, then the connection ends.
  reply = Get(lab, "test", "/speed/1MB.txt");
  EXPECT_NE(reply.find("Content-Length: 1048576\r\n"), std::string::npos);
  EXPECT_EQ(BodySize(reply), 1000u);

  ASSERT_TRUE(lab.SetFault("test", "/speed/*", "nolength,html"));
  reply = Get(lab, "test", "/speed/2KB.txt");
  EXPECT_EQ(reply.find("Content-Length"), std::string::npos);
  EXPECT_NE(reply.find("Content-Type: text/html\r\n"), std::string::npos);
  EXPECT_EQ(BodySize(reply), 2048u);

  ASSERT_TRUE(lab.SetFault("test", "/speed/*", "stall=100"));
  reply = Get(lab, "test", "/speed/1MB.jpg", 300);  // ends by our own silence time-out
  EXPECT_EQ(BodySize(reply), 100u);
  ASSERT_TRUE(lab.SetFault("test", "/speed/*", "404"));
  EXPECT_NE(Get(lab, "test", "/speed/1KB.txt").find("HTTP/1.1 404 Not Found"), std::string::npos);
  EXPECT_FALSE(lab.SetFault("test", "/speed/*", "bogus"));
  ASSERT_TRUE(lab.ClearFaults("test"));
  EXPECT_EQ(BodySize(Get(lab, "test", "/speed/1MB.txt")), 1048576u);
}

TEST(LabServer, TimeHostAndUpdateServer) {
  char dir[] = "/tmp/labupdateXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  testsupport::WriteFile(std::string(dir) + "/sub/update.xml", "<update/>");
  LabProcess lab({"--time", "--time-date=Tue, 15 Nov 1994 08:12:31 GMT", "--update",
                  "--update-root", dir, "--update-fault=/big.bin:close=3"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  std::string reply = Exchange(lab.Address("time"), lab.Port("time"),
                               "HEAD /speed/ HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\nDate: Tue, 15 Nov 1994 08:12:31 GMT\r\n", 0), 0u) << reply;
  EXPECT_EQ(BodySize(reply), 0u);
  ASSERT_TRUE(lab.Set("time", "status", "302"));
  EXPECT_EQ(Get(lab, "time", "/speed/").rfind("HTTP/1.1 302", 0), 0u);

  reply = Get(lab, "update", "/sub/update.xml");
  EXPECT_NE(reply.find("Content-Length: 9\r\n"), std::string::npos);
  EXPECT_EQ(reply.substr(reply.size() - 9), "<update/>");
  testsupport::WriteFile(std::string(dir) + "/big.bin", std::string(100, 'b'));
  EXPECT_EQ(BodySize(Get(lab, "update", "/big.bin")), 3u);
  EXPECT_NE(Get(lab, "update", "/sub/../../etc/passwd").find(" 404 "), std::string::npos);
  EXPECT_NE(Get(lab, "update", "/sub").find(" 404 "), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST(LabServer, BadFlagsStopTheStart) {
  LabProcess unknown({"--no-such-flag"}, std::chrono::seconds(5));
  EXPECT_FALSE(unknown.Started());
  LabProcess badFault({"--test-fault=/x:explode"}, std::chrono::seconds(5));
  EXPECT_FALSE(badFault.Started());
}

TEST(LabServer, KeepsConnectionsAndThrottles) {
  LabProcess lab({"--test", "--test-fault=/speed/100KB.txt:rate=200000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  // Two requests on one connection, the first a HEAD: a length, no body.
  std::string reply = Exchange(lab.Address("test"), lab.Port("test"),
                               "HEAD /speed/2MB.jpg HTTP/1.1\r\nHost: x\r\n\r\n"
                               "GET /speed/1KB.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  size_t second = reply.find("HTTP/1.1 200", 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(reply.substr(0, second).find("Content-Length: 2097152\r\n"), std::string::npos);
  EXPECT_EQ(BodySize(reply.substr(second)), 1024u);
  auto requests = lab.Requests("test");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].connection, requests[1].connection);
  EXPECT_EQ(requests[0].method, "HEAD");

  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(BodySize(Get(lab, "test", "/speed/100KB.txt")), 102400u);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
}

TEST(LabServer, ManagementReadsGbkAndItsPathsWithItsOwnCode) {
  // The lab links nothing of the product's text or properties code: were it to, a fault there
  // would pass the tests by agreeing with itself.
  int status = -1;
  std::string symbols =
      testsupport::CommandOutput("nm -C '" + testsupport::DistPath("kestrane-lab") + "'", &status);
  ASSERT_EQ(status, 0);
  for (const char* borrowed : {"codepage::", "PropertiesFile", "paths::", "platform::"})
    EXPECT_EQ(symbols.find(borrowed), std::string::npos) << borrowed;

  char dir[] = "/tmp/labconfXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string conf = std::string(dir) + "/config.properties";
  testsupport::WriteFile(conf,
                         "#user config\n#Mon Jan 01 00:00:00 UTC 2024\nweb_project_name=proj\n"
                         "interface=ifc\nlogin_servlet=in\n\ns_coru_e=not-read-after-the-gap\n");
  LabProcess lab({"--management", "--management-conf", conf});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  // "演示" in GBK, as the client sends a user name.
  std::string reply =
      Get(lab, "management", "/proj/ifc/in?u=%D1%DD%CA%BE&p=0&ip=1.2.3.4");
  EXPECT_NE(reply.find("\"statuscode\":\"1000\""), std::string::npos) << reply;
  EXPECT_EQ(lab.Stats("management").all["last_user"], "演示");
  reply = Get(lab, "management", "/proj/ifc/in?u=demo&p=62CC2D8B4BF2D8728120D052163A77DF");
  EXPECT_NE(reply.find("\"statuscode\":\"0\""), std::string::npos) << reply;
  // The line after the empty one is not read: the score path stays the default.
  EXPECT_NE(Get(lab, "management", "/proj/score?userid=10001").find(" 200 "), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST(LabServer, FileServerAndFaultsFromTheNthRequest) {
  LabProcess lab({"--files", "--files-fault=/files/2MB.rar:from=2,404"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  std::string reply = Get(lab, "files", "/files/1000001B.bin");
  EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply.substr(0, 80);
  EXPECT_NE(reply.find("Content-Length: 1000001\r\n"), std::string::npos);
  EXPECT_EQ(BodySize(reply), 1000001u);
  EXPECT_EQ(Get(lab, "files", "/files/big.bin").rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_EQ(Get(lab, "files", "/files/a/1KB.bin").rfind("HTTP/1.1 404", 0), 0u);

  // The first request of the path passes; the second and later get the fault.
  reply = Get(lab, "files", "/files/2MB.rar");
  EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(BodySize(reply), 2u << 20);
  EXPECT_EQ(Get(lab, "files", "/files/2MB.rar").rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_EQ(Get(lab, "files", "/files/2MB.rar").rfind("HTTP/1.1 404", 0), 0u);
  // Other paths count on their own.
  EXPECT_EQ(Get(lab, "files", "/files/3MB.rar").rfind("HTTP/1.1 200", 0), 0u);

  // Setting the fault again starts the count again.
  ASSERT_TRUE(lab.SetFault("files", "/files/2MB.rar", "from=3,close=0"));
  std::string faults;
  ASSERT_TRUE(lab.Control("/lab/files/faults", &faults));
  EXPECT_NE(faults.find("/files/2MB.rar close=0,from=3"), std::string::npos) << faults;
  EXPECT_EQ(BodySize(Get(lab, "files", "/files/2MB.rar")), 2u << 20);
  EXPECT_EQ(BodySize(Get(lab, "files", "/files/2MB.rar")), 2u << 20);
  reply = Get(lab, "files", "/files/2MB.rar");
  EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(BodySize(reply), 0u);
}
