#pragma once

#include <optional>
#include <string>

// A small key/value store in place of the system registry: one profile file per hive under the
// program folder's "conf/registry/" ("HKEY_LOCAL_MACHINE.ini"), one section per key path,
// string values by name. Key paths keep their "\" separators.
namespace platform::registry {

enum class Hive { LocalMachine, CurrentUser };

class Key {
 public:
  // Opens an existing key; false when it is absent or its hive cannot be read.
  bool Open(Hive hive, const std::string& path);
  // Stores a string value; false when the key is not open or the hive cannot be written.
  bool SetString(const std::string& name, const std::string& value);
  std::optional<std::string> GetString(const std::string& name) const;
  void Close() { m_file.clear(); }

 private:
  std::string m_file;
  std::string m_path;
};

// The hive's file, relative to the program folder.
std::string HiveFile(Hive hive);

}  // namespace platform::registry
