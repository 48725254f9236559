// The session's pieces that need no server: reply parsing, digests, query encoding, saved
// credentials and the automatic login rule.

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "core/properties_file.h"
#include "core/server_session.h"
#include "test_support.h"

namespace {

class SessionFiles : public ProgramFolderTest {
 protected:
  void WriteUserFile(const std::string& user, const std::string& password,
                     const std::string& autoLogin) {
    Write("conf/l_c_config_01.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nusername=" + EncodeStoredValue(user) +
              "\nuserpass=" + EncodeStoredValue(password) + "\nrem=0\nauto=" + autoLogin +
              "\nuname=\nuserid=null\npre_date=\n");
  }
};

TEST(SessionReply, FillsEveryFieldFromStrings) {
  UserInfo info;
  ASSERT_TRUE(session::ParseLoginReply(
      R"({"statuscode":"0","userid":"10001","nickname":"演示用户","ip":"10.1.2.3",
          "location":"广东省 深圳市 南山区","bandwidth":"100","rloc":"广东省深圳市",
          "roper":"中国电信","rcityid":"440300","roperid":"1","usertype":"8",
          "locCityid":"440301","locOperid":"2","locProid":"440000"})",
      info));
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.userId, "10001");
  EXPECT_EQ(info.nickname, "演示用户");
  EXPECT_EQ(info.address, "10.1.2.3");
  EXPECT_EQ(info.province, "广东省");
  EXPECT_EQ(info.city, " 深圳市 南山区");  // from the first blank on, the blank included
  EXPECT_EQ(info.bandwidth, 100);
  EXPECT_EQ(info.registeredPlace, "广东省深圳市");
  EXPECT_EQ(info.registeredOperator, "中国电信");
  EXPECT_EQ(info.registeredCityId, 440300);
  EXPECT_EQ(info.registeredOperatorId, 1);
  EXPECT_EQ(info.userType, 8);
  EXPECT_EQ(info.locatedCityId, 440301);
  EXPECT_EQ(info.locatedOperatorId, 2);
  EXPECT_EQ(info.locatedProvinceId, 440000);
}

TEST(SessionReply, AbsentKeysKeepFieldsButLocatedIdsReset) {
  UserInfo info;
  info.userId = "old";
  info.province = "江苏省";
  info.city = " 南京市";
  info.bandwidth = 20;
  info.locatedCityId = 5;
  info.locatedOperatorId = 6;
  info.locatedProvinceId = 7;
  ASSERT_TRUE(session::ParseLoginReply(R"({"statuscode":"1000","location":""})", info));
  EXPECT_EQ(info.status, 1000);
  EXPECT_EQ(info.userId, "old");
  EXPECT_EQ(info.province, "江苏省");  // an empty location leaves both parts
  EXPECT_EQ(info.city, " 南京市");
  EXPECT_EQ(info.bandwidth, 20);
  EXPECT_EQ(info.locatedCityId, 0);
  EXPECT_EQ(info.locatedOperatorId, 0);
  EXPECT_EQ(info.locatedProvinceId, 0);

  ASSERT_TRUE(session::ParseLoginReply(R"({"statuscode":"0","location":"上海市"})", info));
  EXPECT_EQ(info.province, "上海市");
  EXPECT_EQ(info.city, "");
}

TEST(SessionReply, NumbersAndOddValues) {
  UserInfo info;
  ASSERT_TRUE(session::ParseLoginReply(
      R"({"statuscode":3,"bandwidth":"fast","usertype":"-2","roperid":null})", info));
  EXPECT_EQ(info.status, 3);     // a plain JSON number is taken too
  EXPECT_EQ(info.bandwidth, 0);  // not a number
  EXPECT_EQ(info.userType, -2);
  EXPECT_EQ(info.registeredOperatorId, 0);
}

TEST(SessionReply, UnreadableRepliesAreRefused) {
  UserInfo info;
  info.status = 77;
  for (const char* reply :
       {"", "{", "[]", "\"0\"", "<html>error</html>", R"({"userid":"1"})", R"({"statuscode":"0",})",
        R"({"statuscode":""})", R"({"statuscode":"ok"})"}) {
    EXPECT_FALSE(session::ParseLoginReply(reply, info)) << reply;
  }
  EXPECT_EQ(info.status, 77);
}

TEST(SessionScores, SplitsAtCommas) {
  Scores s;
  ASSERT_TRUE(session::ParseScores("85,90,80", s));
  EXPECT_EQ(s.total, "85");
  EXPECT_EQ(s.bandwidth, "90");
  EXPECT_EQ(s.experience, "80");
  ASSERT_TRUE(session::ParseScores("85.5,90,80,extra\r\n", s));
  EXPECT_EQ(s.total, "85.5");
  EXPECT_EQ(s.experience, "80");
  ASSERT_TRUE(session::ParseScores("1,2,3\r\n", s));
  EXPECT_EQ(s.experience, "3");

  Scores kept{"a", "b", "c"};
  EXPECT_FALSE(session::ParseScores("", kept));
  EXPECT_FALSE(session::ParseScores("85,90", kept));
  EXPECT_EQ(kept.total, "a");
}

TEST(SessionDigest, Md5OfGbkBytesInLowerCaseHex) {
  EXPECT_EQ(session::PasswordDigest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(session::PasswordDigest(""), "d41d8cd98f00b204e9800998ecf8427e");
  // "密码" as GBK bytes, not as UTF-8.
  EXPECT_EQ(session::PasswordDigest("密码"), "d2293e30f0c964c5f6242486aa8a483c");
}

TEST(SessionQuery, EncodesEveryReservedByteOfTheGbkText) {
  EXPECT_EQ(session::EncodeQueryValue("demo_1.a-b~"), "demo_1.a-b~");
  EXPECT_EQ(session::EncodeQueryValue("a&b #%+=?/"), "a%26b%20%23%25%2B%3D%3F%2F");
  EXPECT_EQ(session::EncodeQueryValue("张三"), "%D5%C5%C8%FD");

  session::ServerParts server{"127.0.0.1", "18080", "kestrane", "client", "login", "score"};
  EXPECT_EQ(session::LoginUrl(server, "张&三", "abc", "10.0.0.1"),
            "http://127.0.0.1:18080/kestrane/client/login?u=%D5%C5%26%C8%FD&p=abc&ip=10.0.0.1");
  EXPECT_EQ(session::LoginUrl(server, "demo", "abc", ""),
            "http://127.0.0.1:18080/kestrane/client/login?u=demo&p=abc");
}

TEST_F(SessionFiles, SavedCredentialsNeedBothTexts) {
  std::string user, password;
  EXPECT_FALSE(session::LoadSavedCredentials(user, password));  // no file at all

  WriteUserFile("王小明", "密码 & 100%", "1");
  ASSERT_TRUE(session::LoadSavedCredentials(user, password));
  EXPECT_EQ(user, "王小明");
  EXPECT_EQ(password, "密码 & 100%");

  WriteUserFile("王小明", "", "1");
  EXPECT_FALSE(session::LoadSavedCredentials(user, password));
  EXPECT_EQ(user, "王小明");
}

TEST_F(SessionFiles, AutomaticLoginFollowsTheCommandLineAndTheAutoKey) {
  using session::AutoLoginWanted;
  WriteUserFile("demo", "demo123", "1");
  EXPECT_TRUE(AutoLoginWanted({}));
  EXPECT_FALSE(AutoLoginWanted({"logoff"}));
  EXPECT_TRUE(AutoLoginWanted({"update"}));
  EXPECT_TRUE(AutoLoginWanted({"logoff", "update"}));
  EXPECT_TRUE(AutoLoginWanted({"Logoff"}));  // words are compared exactly

  WriteUserFile("demo", "demo123", "0");
  EXPECT_FALSE(AutoLoginWanted({}));
  EXPECT_TRUE(AutoLoginWanted({"update"}));
  EXPECT_FALSE(AutoLoginWanted({"UPDATE"}));
  EXPECT_FALSE(AutoLoginWanted({"update-now"}));
}

TEST_F(SessionFiles, SavingCredentialsWritesGbkAndMarksAChangeOfUser) {
  WriteUserFile("demo", "demo123", "0");
  UserInfo info;
  info.nickname = "小明";
  info.userId = "10002";
  session::SaveCredentials("demo", "new-pass", info);
  PropertiesFile file(conf::kUser);
  file.Load();
  EXPECT_EQ(file.Get("rem"), "0");  // same user
  EXPECT_EQ(DecodeStoredValue(file.Get("userpass")), "new-pass");
  EXPECT_NE(file.Get("pre_date"), "");

  session::SaveCredentials("王小明", "pw", info);
  PropertiesFile again(conf::kUser);
  again.Load();
  EXPECT_EQ(again.Get("rem"), "1");
  EXPECT_EQ(DecodeStoredValue(again.Get("username")), "王小明");
  EXPECT_EQ(again.Get("uname"), "小明");
  EXPECT_EQ(again.Get("userid"), "10002");
  EXPECT_EQ(again.Get("auto"), "0");
  // On disk the nickname is GBK.
  EXPECT_NE(Read("conf/l_c_config_01.properties").find("uname=" + codepage::Utf8ToGbk("小明")),
            std::string::npos);
}

}  // namespace
