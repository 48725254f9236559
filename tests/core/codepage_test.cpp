#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/paths.h"
#include "platform/program_folder.h"
#include "test_support.h"

namespace {

TEST(Codepage, RoundTripAndReplacementOfWhatGbkCannotHold) {
  EXPECT_EQ(codepage::Utf8ToGbk("北京 abc"), "\xB1\xB1\xBE\xA9 abc");
  EXPECT_EQ(codepage::GbkToUtf8("\xB1\xB1\xBE\xA9 abc"), "北京 abc");

  size_t lost = 0;
  EXPECT_EQ(codepage::Utf8ToGbk("a😀b\xFF" "c", &lost), "a?b?c");
  EXPECT_EQ(lost, 2u);

  lost = 0;
  EXPECT_EQ(codepage::GbkToUtf8("x\xFF" "y\xB1", &lost), "x?y?");
  EXPECT_EQ(lost, 2u);

  EXPECT_TRUE(codepage::IsValidUtf8("北京"));
  EXPECT_FALSE(codepage::IsValidUtf8("\xE5\x8C"));
  EXPECT_EQ(codepage::SanitizeUtf8("ok\xC0\xAF"), "ok??");
}

TEST(Codepage, CuttingCountsGbkBytesOrCharacters) {
  EXPECT_EQ(codepage::CutToGbkBytes("ab北京", 3), "ab");
  EXPECT_EQ(codepage::CutToGbkBytes("ab北京", 4), "ab北");
  EXPECT_EQ(codepage::CutToChars("ab北京x", 3), "ab北");
  EXPECT_EQ(codepage::CharCount("ab北京x"), 5u);
}

TEST(Paths, BackslashesBecomeSlashesAndAbsoluteNamesStay) {
  EXPECT_EQ(paths::Native("conf\\config.properties"), "conf/config.properties");
  EXPECT_EQ(paths::Join("/opt/k", "TestFile\\a.rar"), "/opt/k/TestFile/a.rar");
  EXPECT_EQ(paths::Join("/opt/k", "/var/x"), "/var/x");
  EXPECT_EQ(paths::FileName("TestFile\\a.rar"), "a.rar");
  EXPECT_EQ(paths::FileName("x/y/b.zip"), "b.zip");
}

class FolderTest : public ProgramFolderTest {};

TEST_F(FolderTest, NestedFoldersAndStartUpFolders) {
  EXPECT_TRUE(platform::CreateNestedFolder("a/b/c"));
  EXPECT_TRUE(platform::IsFolder("a/b/c"));
  EXPECT_TRUE(platform::CreateNestedFolder("a/b/d"));  // existing prefix is fine
  EXPECT_TRUE(platform::CreateNestedFolder("NetStatusData\\x"));
  EXPECT_TRUE(platform::IsFolder(At("NetStatusData/x")));

  std::filesystem::remove_all(At("log"));
  std::filesystem::remove_all(At("DB"));
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_TRUE(platform::EnterProgramFolder());
  EXPECT_TRUE(platform::IsFolder(At("log")));
  EXPECT_TRUE(platform::IsFolder(At("DB")));
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(m_folder));
}

}  // namespace
