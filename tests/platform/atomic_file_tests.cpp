#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/ini_file.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ProgramFolderTest {
 protected:
  bool OnlyTargetIn(const std::string& folder, const std::string& name) {
    for (const auto& e : fs::directory_iterator(At(folder)))
      if (e.path().filename() != name) return false;
    return true;
  }
};

TEST_F(AtomicFileTest, ReplacesWholeKeepsModeAndTakesEitherSeparator) {
  Write("conf/a.properties", "old");
  ASSERT_EQ(chmod(At("conf/a.properties").c_str(), 0640), 0);
  ASSERT_TRUE(platform::WriteFileAtomically("conf\\a.properties", "new"));
  EXPECT_EQ(Read("conf/a.properties"), "new");
  struct stat st {};
  ASSERT_EQ(stat(At("conf/a.properties").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  ASSERT_TRUE(platform::WriteFileAtomically(At("conf\\b.ini"), "created"));
  EXPECT_EQ(Read("conf/b.ini"), "created");
}

TEST_F(AtomicFileTest, ReadOnlyTargetIsRefusedAndLeftAsItWas) {
  // The folder stays writable: only the file's own permission may stop the write.
  Write("conf/user.properties", "userid=7\n");
  ASSERT_EQ(chmod(At("conf/user.properties").c_str(), 0444), 0);
  EXPECT_FALSE(platform::MayWriteExisting(At("conf/user.properties")));
  EXPECT_FALSE(platform::WriteFileAtomically(At("conf/user.properties"), "userid=8\n"));
  EXPECT_EQ(Read("conf/user.properties"), "userid=7\n");
  EXPECT_TRUE(OnlyTargetIn("conf", "user.properties"));

  // The profile writer goes through the same door.
  Write("Data/sftpconfigure.ini", "[sftpput]\r\nfilename=put Data\\a.zip\r\n");
  ASSERT_EQ(chmod(At("Data/sftpconfigure.ini").c_str(), 0444), 0);
  EXPECT_FALSE(platform::WritePrivateProfileString("sftpput", "filename", "put Data\\b.zip",
                                                   "Data\\sftpconfigure.ini"));
  EXPECT_EQ(Read("Data/sftpconfigure.ini"), "[sftpput]\r\nfilename=put Data\\a.zip\r\n");
  EXPECT_TRUE(OnlyTargetIn("Data", "sftpconfigure.ini"));

  // Writable again, written again.
  ASSERT_EQ(chmod(At("conf/user.properties").c_str(), 0644), 0);
  EXPECT_TRUE(platform::WriteFileAtomically(At("conf/user.properties"), "userid=8\n"));
  EXPECT_EQ(Read("conf/user.properties"), "userid=8\n");
}

TEST_F(AtomicFileTest, AnotherUsersFileIsRefusedEvenInAFolderAnyoneMayWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "needs to switch to another user";
  Write("shared/owned.ini", "mine");
  ASSERT_EQ(chmod(m_folder.c_str(), 0755), 0);
  ASSERT_EQ(chmod(At("shared").c_str(), 0777), 0);  // no sticky bit
  ASSERT_EQ(chmod(At("shared/owned.ini").c_str(), 0644), 0);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    // The folder would allow the rename; the file's permission must not.
    bool owned = platform::WriteFileAtomically(At("shared/owned.ini"), "theirs");
    bool fresh = platform::WriteFileAtomically(At("shared/fresh.ini"), "new");
    _exit(!owned && fresh ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Read("shared/owned.ini"), "mine");
  EXPECT_EQ(Read("shared/fresh.ini"), "new");
}

}  // namespace
