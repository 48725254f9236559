#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

// One properties file of key=value lines, loaded, read, changed and saved per use. Keys and
// values are UTF-8 in memory and GBK on disk; they are compared exactly, never trimmed.
class PropertiesFile {
 public:
  explicit PropertiesFile(std::string path);

  // Reads the file; a missing or unreadable file leaves the object empty.
  void Load();

  // The value, or the four letters "null" when the key is absent.
  std::string Get(const std::string& key) const;

  // Changes every line of an existing key; an absent key is not added. True when the key was
  // changed.
  bool Set(const std::string& key, const std::string& value);

  // Appends an absent key; a present key is left as it is. True when the key was added.
  bool Add(const std::string& key, const std::string& value);

  // Whether a key and value make a line that the next Load reads back whole: no line end
  // inside, at most kMaxLineBytes GBK bytes. Set and Add refuse any other pair, since such a
  // line would end the next Load there and lose every key after it.
  static bool FitsOnALine(const std::string& key, const std::string& value);

  // Rewrites the whole file when something changed. With `stampLastLogin`, "pre_date" is first
  // refreshed (only where the file already holds it). The file is replaced atomically: a reader
  // sees the old or the new file whole, never a partial one.
  void Save(bool stampLastLogin);

  bool Modified() const { return m_modified; }
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return m_entries; }

  static constexpr size_t kMaxLineBytes = 255;

 private:
  std::vector<std::pair<std::string, std::string>> m_entries;
  std::map<std::string, std::string> m_index;
  std::string m_path;
  bool m_modified = false;
};

// Scrambling of stored values: DES-ECB with the program's fixed key, zero filling of the last
// block, upper-case hexadecimal. The plain text is scrambled as its GBK bytes.
inline constexpr const char* kStoredValueKey = "3ed,4rf.";
std::string EncodeStoredValue(const std::string& plain, const std::string& key = kStoredValueKey);
// Input that is not whole 16-digit blocks of hexadecimal digits decodes to an empty text.
std::string DecodeStoredValue(const std::string& hex, const std::string& key = kStoredValueKey);

// Well-known files under the program folder.
namespace conf {
inline constexpr const char* kConfig = "conf\\config.properties";
inline constexpr const char* kUser = "conf\\l_c_config_01.properties";
inline constexpr const char* kIpConfig = "conf\\ipconfig.properties";
inline constexpr const char* kUpdateProcess = "conf\\update_process.properties";

// One-shot read of a key ("null" when absent or the file is missing).
std::string Read(const char* file, const std::string& key);

// "upload_method": written by the configuration editor into config.properties; read from
// there, then from the user file, else "m1".
std::string UploadMethod();
}  // namespace conf
