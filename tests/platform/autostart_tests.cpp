// The autostart entry: written, read and removed under a private XDG_CONFIG_HOME, checked with
// the desktop's own validator and started by GLib's launcher.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/autostart.h"
#include "platform/program_folder.h"
#include "test_support.h"

namespace {

using testsupport::CommandOutput;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::WaitFor;
using testsupport::WriteFile;

class Autostart : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    m_oldConfigHome = old ? std::optional<std::string>(old) : std::nullopt;
    m_home = m_folder + "/config home";
    setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
  }
  void TearDown() override {
    if (m_oldConfigHome)
      setenv("XDG_CONFIG_HOME", m_oldConfigHome->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    chmod(m_folder.c_str(), 0700);
    ProgramFolderTest::TearDown();
  }
  std::string Entry() const { return m_home + "/autostart/Kestrane-c.desktop"; }

  std::string m_home;
  std::optional<std::string> m_oldConfigHome;
};

TEST_F(Autostart, OnWritesAValidEntryOffRemovesIt) {
  EXPECT_EQ(platform::AutostartEntryPath(), Entry());
  EXPECT_FALSE(platform::IsAutostartOn());
  // Off when off is no error.
  EXPECT_TRUE(platform::SetAutostart(false, "/opt/kestrane/Kestrane"));

  ASSERT_TRUE(platform::SetAutostart(true, "/opt/kestrane/Kestrane"));
  EXPECT_TRUE(platform::IsAutostartOn());
  EXPECT_EQ(ReadFile(Entry()),
            "[Desktop Entry]\nType=Application\nName=Kestrane\nExec=\"/opt/kestrane/Kestrane\"\n");
  int status = 0;
  const std::string report = CommandOutput("desktop-file-validate '" + Entry() + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << report;
  EXPECT_EQ(report, "");

  // On again rewrites the entry for the program now running from elsewhere.
  ASSERT_TRUE(platform::SetAutostart(true, "/srv/k/Kestrane"));
  EXPECT_NE(ReadFile(Entry()).find("Exec=\"/srv/k/Kestrane\"\n"), std::string::npos);

  ASSERT_TRUE(platform::SetAutostart(false, "/srv/k/Kestrane"));
  EXPECT_FALSE(Exists(Entry()));
  EXPECT_FALSE(platform::IsAutostartOn());

  // A relative path would start nothing at log-in.
  EXPECT_FALSE(platform::SetAutostart(true, "Kestrane"));
  EXPECT_FALSE(platform::IsAutostartOn());
}

TEST_F(Autostart, ConfigHomeFallsBackToDotConfig) {
  const char* home = std::getenv("HOME");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::AutostartEntryPath(),
            std::string(home ? home : "") + "/.config/autostart/Kestrane-c.desktop");
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  EXPECT_EQ(platform::AutostartEntryPath(),
            std::string(home ? home : "") + "/.config/autostart/Kestrane-c.desktop");
}

TEST_F(Autostart, ExecQuotesEveryCharacterTheFormatReserves) {
  EXPECT_EQ(platform::DesktopExecArgument("/a b/K"), "\"/a b/K\"");
  // Quoting escapes first ("\$"), then the string escapes double every backslash ("\\$").
  EXPECT_EQ(platform::DesktopExecArgument("/a\"b$c`d\\e/K"),
            "\"/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e/K\"");
  EXPECT_EQ(platform::DesktopExecArgument("/100%/K"), "\"/100%%/K\"");
  EXPECT_EQ(platform::DesktopExecArgument("/a\tb/K"), "\"/a\\tb/K\"");
}

TEST_F(Autostart, GlibStartsTheProgramAtExactlyThatPath) {
  if (CommandOutput("command -v gio").empty()) GTEST_SKIP() << "gio (libglib2.0-bin) missing";
  const std::string dir = m_folder + "/in st\"all$HOME`x`\\ed";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  const std::string program = dir + "/Kes trane";
  const std::string seen = m_folder + "/started.txt";
  // Written directly: the test helpers take "\\" for a separator.
  std::ofstream(program) << "#!/bin/sh\nprintf '%s' \"$0\" > '" + seen + "'\n";
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);

  ASSERT_TRUE(platform::SetAutostart(true, program));
  int status = 0;
  EXPECT_EQ(CommandOutput("desktop-file-validate '" + Entry() + "' 2>&1", &status), "");
  EXPECT_EQ(status, 0);
  const std::string out = CommandOutput("gio launch '" + Entry() + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  ASSERT_TRUE(WaitFor([&] { return Exists(seen) && !ReadFile(seen).empty(); }));
  EXPECT_EQ(ReadFile(seen), program);
}

TEST_F(Autostart, AnUnwritableFolderLeavesItOff) {
  // A file where the folder should be.
  WriteFile(m_home, "not a folder");
  EXPECT_FALSE(platform::SetAutostart(true, "/opt/kestrane/Kestrane"));
  EXPECT_FALSE(platform::IsAutostartOn());
  ASSERT_EQ(unlink(m_home.c_str()), 0);

  // A folder this user may not write (the superuser may write anything: the check runs as
  // another user in a child).
  ASSERT_EQ(mkdir(m_home.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((m_home + "/autostart").c_str(), 0555), 0);
  ASSERT_EQ(chmod(m_folder.c_str(), 0755), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    const bool on = platform::SetAutostart(true, "/opt/kestrane/Kestrane");
    _exit(!on && !platform::IsAutostartOn() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(Exists(Entry()));
}

}  // namespace
