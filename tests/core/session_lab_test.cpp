// The login and the score request against the lab's management server on loopback.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/properties_file.h"
#include "core/server_session.h"
#include "lab_fixture.h"
#include "platform/codepage.h"
#include "test_support.h"

namespace {

const char kAccounts[] = R"({"accounts": [
  {"username": "demo", "password": "demo123", "statuscode": "0", "userid": "10001",
   "nickname": "演示用户", "location": "广东省 深圳市", "bandwidth": "100", "rloc": "广东省深圳市",
   "roper": "中国电信", "rcityid": "440300", "roperid": "1", "usertype": "1",
   "locCityid": "440300", "locOperid": "1", "locProid": "440000", "scores": "86,90,82"},
  {"username": "王 小&明#1%", "password": "密码 & 100%", "statuscode": "0", "userid": "20002",
   "nickname": "小明", "usertype": "8", "scores": "1,2,3"},
  {"username": "resetme", "password": "old", "statuscode": "3", "userid": "30003"},
  {"username": "lines", "password": "lines", "statuscode": "0", "userid": "40004",
   "nickname": "第一行\r\n第二行\n", "scores": "1,2,3"}
]})";

std::string Long(int n) {
  std::string s = "a";
  for (int i = 0; i < n; ++i) s += "长";  // two GBK bytes each
  return s;
}

// The accounts above and one whose nickname needs 301 GBK bytes.
std::string AccountsJson() {
  std::string json = kAccounts;
  json.insert(json.rfind(']'), R"(, {"username": "long", "password": "long", "statuscode": "0",
    "userid": "50005", "nickname": ")" +
                                   Long(150) + R"(", "scores": "1,2,3"})");
  return json;
}

class SessionLab : public ProgramFolderTest {
 protected:
  static void SetUpTestSuite() {
    s_accounts = new std::string(testing::TempDir() + "/session-accounts.json");
    testsupport::WriteFile(*s_accounts, AccountsJson());
    s_lab = new LabProcess({"--management", "--management-accounts=" + *s_accounts});
  }
  static void TearDownTestSuite() {
    delete s_lab;
    s_lab = nullptr;
    delete s_accounts;
  }

  void SetUp() override {
    ProgramFolderTest::SetUp();
    ASSERT_TRUE(s_lab->Started()) << s_lab->Error();
    ASSERT_TRUE(s_lab->Set("management", "reply", "ok"));
    ASSERT_TRUE(s_lab->Set("management", "scores", ""));
    ASSERT_TRUE(s_lab->Reset("management"));
    WriteConfig(s_lab->Port("management"));
    Write("conf/l_c_config_01.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nusername=\nuserpass=\nrem=0\nauto=0\n"
          "uname=\nuserid=null\npre_date=\n");
    CDataBase::Instance().SetClientAddress("10.1.2.3");
    session::SetAddressWait(3, std::chrono::milliseconds(10));
  }
  void TearDown() override {
    session::SetAddressWait(session::kAddressWaitTries, session::kAddressWaitStep);
    ProgramFolderTest::TearDown();
  }

  void WriteConfig(int port) {
    Write("conf/config.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nupdate_server_url=" +
              EncodeStoredValue("127.0.0.1") + "\nweb_project_port=" + std::to_string(port) +
              "\nweb_project_name=kestrane\nlogin_servlet=login\ninterface=client\n"
              "s_coru_e=score\n");
  }

  // Runs a login through the worker and waits for its code.
  int LoginAndWait(const std::string& user, const std::string& password) {
    std::atomic<int> code{-1};
    std::atomic<bool> workerThread{false};
    auto caller = std::this_thread::get_id();
    session::Login(user, password, [&](int c) {
      workerThread = std::this_thread::get_id() != caller;
      code = c;
    });
    EXPECT_TRUE(testsupport::WaitFor([&] { return code != -1; }, std::chrono::seconds(20)));
    EXPECT_TRUE(workerThread.load());
    return code;
  }

  std::string LastTarget() {
    auto requests = s_lab->Requests("management");
    return requests.empty() ? "" : requests.back().target;
  }
  std::string Stat(const std::string& key) { return s_lab->Stats("management").all[key]; }

  static LabProcess* s_lab;
  static std::string* s_accounts;
};

LabProcess* SessionLab::s_lab = nullptr;
std::string* SessionLab::s_accounts = nullptr;

TEST_F(SessionLab, AcceptedLoginFillsTheSessionAndSavesTheCredentials) {
  ASSERT_EQ(LoginAndWait("demo", "demo123"), 0);

  auto requests = s_lab->Requests("management");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine,
            "GET /kestrane/client/login?u=demo&p=62cc2d8b4bf2d8728120d052163a77df&ip=10.1.2.3 "
            "HTTP/1.1");
  EXPECT_EQ(requests[1].target, "/kestrane/score?userid=10001");

  UserInfo info = CDataBase::Instance().GetUserInfo();
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.userId, "10001");
  EXPECT_EQ(info.nickname, "演示用户");
  EXPECT_EQ(info.address, "10.1.2.3");
  EXPECT_EQ(info.province, "广东省");
  EXPECT_EQ(info.city, " 深圳市");
  EXPECT_EQ(info.bandwidth, 100);
  EXPECT_EQ(info.userType, 1);
  EXPECT_EQ(info.locatedProvinceId, 440000);

  Scores scores = CDataBase::Instance().GetScores();
  EXPECT_EQ(scores.total, "86");
  EXPECT_EQ(scores.bandwidth, "90");
  EXPECT_EQ(scores.experience, "82");

  PropertiesFile saved(conf::kUser);
  saved.Load();
  EXPECT_EQ(DecodeStoredValue(saved.Get("username")), "demo");
  EXPECT_EQ(DecodeStoredValue(saved.Get("userpass")), "demo123");
  EXPECT_EQ(saved.Get("uname"), "演示用户");
  EXPECT_EQ(saved.Get("userid"), "10001");
  EXPECT_EQ(saved.Get("rem"), "1");  // the saved name was empty: a different user
  EXPECT_NE(saved.Get("pre_date"), "");

  // The same user again leaves "rem" as it was.
  saved.Set("rem", "0");
  saved.Save(false);
  ASSERT_EQ(LoginAndWait("demo", "demo123"), 0);
  EXPECT_EQ(conf::Read(conf::kUser, "rem"), "0");
}

// A nickname with line ends, or one too long for its line, must not end the next load of the
// user's file at that line: "userid" and "pre_date" stay.
TEST_F(SessionLab, HostileNicknamesLeaveTheUserFileWhole) {
  struct Case {
    const char* user;
    const char* id;
    std::string uname;
  };
  // "uname=" leaves 249 bytes: "a" and 124 two-byte characters, never half of one.
  const Case cases[] = {{"lines", "40004", "第一行第二行"}, {"long", "50005", Long(124)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    ASSERT_EQ(LoginAndWait(c.user, c.user), 0);
    PropertiesFile saved(conf::kUser);
    saved.Load();
    EXPECT_EQ(saved.Entries().size(), 7u);
    EXPECT_EQ(saved.Get("uname"), c.uname);
    EXPECT_EQ(saved.Get("userid"), c.id);
    EXPECT_EQ(DecodeStoredValue(saved.Get("username")), c.user);
    EXPECT_NE(saved.Get("pre_date"), "null");
    EXPECT_NE(saved.Get("pre_date"), "");
    EXPECT_EQ(CDataBase::Instance().GetUserInfo().nickname.find_first_of("\r\n"),
              std::string::npos);
  }
}

TEST_F(SessionLab, RefusedLoginsLeaveTheSavedCredentials) {
  const std::string before = Read("conf/l_c_config_01.properties");
  const std::string scoreRequests = Stat("score_requests");
  EXPECT_EQ(LoginAndWait("demo", "wrong"), 1000);
  EXPECT_EQ(CDataBase::Instance().GetUserInfo().status, 1000);
  EXPECT_EQ(LoginAndWait("nobody", "demo123"), 1000);
  EXPECT_EQ(LoginAndWait("resetme", "old"), 3);
  EXPECT_EQ(Read("conf/l_c_config_01.properties"), before);
  EXPECT_EQ(Stat("score_requests"), scoreRequests);
}

TEST_F(SessionLab, UnreadableRepliesAndDeadServersEndInCodeTwo) {
  const std::string before = Read("conf/l_c_config_01.properties");
  ASSERT_TRUE(s_lab->Set("management", "reply", "badjson"));
  EXPECT_EQ(LoginAndWait("demo", "demo123"), 2);
  ASSERT_TRUE(s_lab->Set("management", "reply", "empty"));
  EXPECT_EQ(LoginAndWait("demo", "demo123"), 2);

  ASSERT_TRUE(s_lab->Set("management", "reply", "ok"));
  ASSERT_TRUE(s_lab->SetFault("management", "/kestrane/client/login", "status=500"));
  EXPECT_EQ(LoginAndWait("demo", "demo123"), 2);  // an error page is no JSON
  ASSERT_TRUE(s_lab->ClearFaults("management"));

  WriteConfig(testsupport::FreePort());  // nothing listens there
  EXPECT_EQ(LoginAndWait("demo", "demo123"), 2);
  EXPECT_EQ(Read("conf/l_c_config_01.properties"), before);
}

TEST_F(SessionLab, ServerStatusCodesArePassedOn) {
  ASSERT_TRUE(s_lab->Set("management", "reply", "status=4"));
  EXPECT_EQ(LoginAndWait("demo", "demo123"), 4);
  ASSERT_TRUE(s_lab->Set("management", "reply", "status=77"));
  EXPECT_EQ(LoginAndWait("demo", "demo123"), 77);
}

TEST_F(SessionLab, TheAddressIsAwaitedThenLeftOut) {
  CDataBase::Instance().SetClientAddress("");
  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(LoginAndWait("demo", "demo123"), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(30));
  EXPECT_EQ(s_lab->Requests("management").front().target.find("&ip="), std::string::npos);
  EXPECT_EQ(s_lab->Requests("management").front().target.find("ip="), std::string::npos);

  // An address found while the login waits is used.
  ASSERT_TRUE(s_lab->Reset("management"));
  session::SetAddressWait(500, std::chrono::milliseconds(10));
  std::thread finder([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    CDataBase::Instance().SetClientAddress("192.0.2.7");
  });
  int code = LoginAndWait("demo", "demo123");
  finder.join();
  ASSERT_EQ(code, 0);
  EXPECT_NE(s_lab->Requests("management").front().target.find("&ip=192.0.2.7"), std::string::npos);

  // A discovery that ended without an address ends the wait at once.
  ASSERT_TRUE(s_lab->Reset("management"));
  CDataBase::Instance().SetClientAddress("");
  CDataBase::Instance().clientAddressSettled = true;
  started = std::chrono::steady_clock::now();
  code = LoginAndWait("demo", "demo123");
  CDataBase::Instance().clientAddressSettled = false;
  ASSERT_EQ(code, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(s_lab->Requests("management").front().target.find("ip="), std::string::npos);
}

TEST_F(SessionLab, NamesWithReservedBytesAndChineseArriveIntact) {
  ASSERT_EQ(LoginAndWait("王 小&明#1%", "密码 & 100%"), 0);
  EXPECT_EQ(Stat("last_user"), "王 小&明#1%");
  EXPECT_EQ(Stat("last_ip"), "10.1.2.3");
  EXPECT_EQ(Stat("last_score_userid"), "20002");
  EXPECT_EQ(CDataBase::Instance().GetUserInfo().userId, "20002");
  EXPECT_EQ(DecodeStoredValue(conf::Read(conf::kUser, "username")), "王 小&明#1%");
}

TEST_F(SessionLab, ScoreRequestsKeepOldScoresOnFailure) {
  ASSERT_EQ(LoginAndWait("demo", "demo123"), 0);
  Scores scores;
  ASSERT_TRUE(s_lab->Set("management", "scores", "70,71,72,73"));
  ASSERT_TRUE(session::FetchScores(scores));
  EXPECT_EQ(scores.total, "70");
  EXPECT_EQ(scores.experience, "72");

  ASSERT_TRUE(s_lab->Set("management", "scores", "-"));  // an empty reply
  EXPECT_FALSE(session::FetchScores(scores));
  EXPECT_EQ(scores.total, "70");

  // A failed score request after an accepted login is not reported and keeps the scores.
  ASSERT_EQ(LoginAndWait("demo", "demo123"), 0);
  EXPECT_EQ(CDataBase::Instance().GetScores().total, "86");
}

}  // namespace

namespace {

// The lab's own pages that other windows open: request key, user page, registration page and
// the audit answer.
TEST_F(SessionLab, LabServesTheUserPagesAndTheAudit) {
  std::string key, page;
  ASSERT_EQ(HttpGetText(s_lab->Url("management", "/kestrane/viewk"), key), 0);
  ASSERT_FALSE(key.empty());
  std::string query =
      "?u=demo&p=" + session::PasswordDigest("demo123") + "&reqkey=" + key + "&pagetype=1";
  ASSERT_EQ(HttpGetText(s_lab->Url("management", "/kestrane/view" + query), page), 0);
  EXPECT_NE(page.find("演示用户"), std::string::npos);
  ASSERT_EQ(HttpGetText(s_lab->Url("management", "/kestrane/view?u=demo&p=x&reqkey=" + key), page),
            0);
  EXPECT_EQ(page.find("演示用户"), std::string::npos);

  ASSERT_EQ(HttpGetText(s_lab->Url("management", "/speed/page/RegisterG.jsp"), page), 0);
  EXPECT_NE(page.find("用户注册"), std::string::npos);
  ASSERT_EQ(
      HttpGetText(s_lab->Url("management",
                             "/speed/interface/audit.do?dnsip=1.1.1.1&ip=10.1.2.3&userid=20002"),
                  page),
      0);
  EXPECT_EQ(page, R"({"usertype":"8"})");
}

}  // namespace
