#include "test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/data_base.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace fs = std::filesystem;

namespace testsupport {

ScopedLocale::ScopedLocale(const char* name) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  m_previous = previous ? previous : "C";
  m_active = std::setlocale(LC_ALL, name) != nullptr;
}

ScopedLocale::~ScopedLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }

std::string DistPath(const std::string& relative) {
  return paths::Join(KESTRANE_DIST_DIR, relative);
}

std::string SourcePath(const std::string& relative) {
  return paths::Join(KESTRANE_SOURCE_DIR, relative);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(paths::Native(path), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string CommandOutput(const std::string& command, int* status) {
  std::string text;
  int result = -1;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    result = pclose(pipe);
  }
  if (status) *status = result;
  return text;
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::path p(paths::Native(path));
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

bool Exists(const std::string& path) { return fs::exists(paths::Native(path)); }

void CopyFile(const std::string& from, const std::string& to) {
  fs::path dest(paths::Native(to));
  if (dest.has_parent_path()) fs::create_directories(dest.parent_path());
  fs::copy(paths::Native(from), dest,
           fs::copy_options::overwrite_existing | fs::copy_options::recursive);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  int port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

}  // namespace testsupport

void ProgramFolderTest::SetUp() {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd)) m_oldCwd = cwd;
  std::string tmpl = (fs::temp_directory_path() / "kestrane-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  m_folder = tmpl;
  for (const char* sub : {"conf", "Config", "log", "DB", "Data", "NetStatusData", "TestFile", "tmp"})
    fs::create_directories(fs::path(m_folder) / sub);
  platform::SetProgramFolder(m_folder);
  ASSERT_EQ(chdir(m_folder.c_str()), 0);
  CDataBase::Instance().Reset();
}

void ProgramFolderTest::TearDown() {
  if (!m_oldCwd.empty() && chdir(m_oldCwd.c_str()) != 0) {
  }
  platform::SetProgramFolder("");
  std::error_code ec;
  // A test may leave read-only folders behind; make them writable so they can be removed.
  for (auto it = fs::recursive_directory_iterator(m_folder, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(m_folder, ec);
}

std::string ProgramFolderTest::At(const std::string& relative) const {
  return paths::Join(m_folder, relative);
}

void ProgramFolderTest::Write(const std::string& relative, const std::string& content) const {
  testsupport::WriteFile(At(relative), content);
}

std::string ProgramFolderTest::Read(const std::string& relative) const {
  return testsupport::ReadFile(At(relative));
}

void ProgramFolderTest::CopyFromDist(const std::string& relative) const {
  testsupport::CopyFile(testsupport::DistPath(relative), At(relative));
}
