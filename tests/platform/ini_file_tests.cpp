#include "platform/ini_file.h"
#include "test_support.h"

namespace {

class IniFileTest : public ProgramFolderTest {};

TEST_F(IniFileTest, ReadsAsTheProfileCallsDo) {
  Write("a.ini",
        "; comment=not a key\n"
        "top=outside any section\n"
        "  [ SftpPut ]  \r\n"
        "  FileName =  \"put Data\\x.zip\"  \r\n"
        "quoted='single'\n"
        "half=\"open\n"
        "noequals\n"
        "empty=\n"
        "[other]\n"
        "filename=second\n");
  EXPECT_EQ(platform::GetPrivateProfileString("sftpput", "filename", "-", At("a.ini")),
            "put Data\\x.zip");
  EXPECT_EQ(platform::GetPrivateProfileString("SFTPPUT", "quoted", "-", At("a.ini")), "single");
  EXPECT_EQ(platform::GetPrivateProfileString("sftpput", "half", "-", At("a.ini")), "\"open");
  EXPECT_EQ(platform::GetPrivateProfileString("sftpput", "empty", "-", At("a.ini")), "");
  EXPECT_EQ(platform::GetPrivateProfileString("sftpput", "noequals", "-", At("a.ini")), "-");
  EXPECT_EQ(platform::GetPrivateProfileString("sftpput", "top", "-", At("a.ini")), "-");
  EXPECT_EQ(platform::GetPrivateProfileString("other", "filename", "-", At("a.ini")), "second");
  EXPECT_EQ(platform::GetPrivateProfileString("none", "filename", "-", At("a.ini")), "-");
  EXPECT_EQ(platform::GetPrivateProfileString("sftpput", "filename", "-", At("missing.ini")), "-");

  platform::IniFile ini(At("a.ini"));
  ASSERT_TRUE(ini.Load());
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"SftpPut", "other"}));
  EXPECT_EQ(ini.Keys("sftpput"), (std::vector<std::string>{"FileName", "quoted", "half", "empty"}));
}

TEST_F(IniFileTest, WritesCreateChangeAndKeepTheRest) {
  // A new file gets its section and key in CR LF lines.
  ASSERT_TRUE(
      platform::WritePrivateProfileString("sftpput", "filename", "put Data\\a.zip", At("x.ini")));
  EXPECT_EQ(Read("x.ini"), "[sftpput]\r\nfilename=put Data\\a.zip\r\n");

  ASSERT_TRUE(
      platform::WritePrivateProfileString("SFTPPUT", "FILENAME", "put Data\\b.zip", At("x.ini")));
  EXPECT_EQ(Read("x.ini"), "[sftpput]\r\nfilename=put Data\\b.zip\r\n");

  Write("y.ini", "; keep me\n[a]\nk1=1\n\n[b]\nk=2\n");
  ASSERT_TRUE(platform::WritePrivateProfileString("a", "k2", "new", At("y.ini")));
  ASSERT_TRUE(platform::WritePrivateProfileString("c", "k", "3", At("y.ini")));
  EXPECT_EQ(Read("y.ini"),
            "; keep me\r\n[a]\r\nk1=1\r\nk2=new\r\n\r\n[b]\r\nk=2\r\n[c]\r\nk=3\r\n");
  EXPECT_EQ(platform::GetPrivateProfileInt("c", "k", 9, At("y.ini")), 3);
  EXPECT_EQ(platform::GetPrivateProfileInt("a", "k2", 9, At("y.ini")), 0);
  EXPECT_EQ(platform::GetPrivateProfileInt("a", "none", 9, At("y.ini")), 9);

  platform::IniFile ini(At("y.ini"));
  ini.Load();
  ini.RemoveKey("a", "k1");
  ini.RemoveSection("b");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(Read("y.ini"), "; keep me\r\n[a]\r\nk2=new\r\n\r\n[c]\r\nk=3\r\n");

  // Texts are GBK on disk.
  ASSERT_TRUE(platform::WritePrivateProfileString("s", "名", "上传", At("z.ini")));
  EXPECT_EQ(Read("z.ini"), "[s]\r\n\xC3\xFB=\xC9\xCF\xB4\xAB\r\n");
  EXPECT_EQ(platform::GetPrivateProfileString("s", "名", "", At("z.ini")), "上传");

  // A folder that does not exist cannot take the file; the write says so.
  EXPECT_FALSE(platform::WritePrivateProfileString("s", "k", "v", At("nowhere/z.ini")));
}

}  // namespace
