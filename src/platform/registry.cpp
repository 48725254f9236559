#include "platform/registry.h"

#include <strings.h>

#include "platform/file_lock.h"
#include "platform/ini_file.h"
#include "platform/program_folder.h"

namespace platform::registry {

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
  // Other programs write the same hive: read, change and write it under its lock.
  FileLock lock;
  lock.Lock(LockPathFor(m_file), true);
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
