#include "platform/registry.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/ini_file.h"
#include "platform/program_folder.h"

namespace platform::registry {
namespace {

// Other programs write the same hive: each read-change-write holds this lock.
class HiveLock {
 public:
  explicit HiveLock(const std::string& file) {
    m_fd = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
  }
  ~HiveLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;

 private:
  int m_fd = -1;
};

}  // namespace

std::string HiveFile(Hive hive) {
  return hive == Hive::LocalMachine ? "conf/registry/HKEY_LOCAL_MACHINE.ini"
                                    : "conf/registry/HKEY_CURRENT_USER.ini";
}

bool Key::Open(Hive hive, const std::string& path) {
  m_file.clear();
  IniFile ini(HiveFile(hive));
  if (path.empty() || !ini.Load()) return false;
  for (const auto& s : ini.Sections()) {
    if (strcasecmp(s.c_str(), path.c_str()) == 0) {  // key names ignore case
      m_file = HiveFile(hive);
      m_path = s;
      return true;
    }
  }
  return false;
}

bool Key::SetString(const std::string& name, const std::string& value) {
  if (m_file.empty() || name.empty()) return false;
  HiveLock lock(m_file);
  IniFile ini(m_file);
  if (!ini.Load()) return false;
  ini.Set(m_path, name, value);
  return ini.Save();
}

std::optional<std::string> Key::GetString(const std::string& name) const {
  if (m_file.empty()) return std::nullopt;
  IniFile ini(m_file);
  if (!ini.Load()) return std::nullopt;
  return ini.Get(m_path, name);
}

}  // namespace platform::registry
