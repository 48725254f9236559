#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Profile files of the Windows kind: "[section]" headers and "key=value" lines. Section and key
// names compare without regard to ASCII case; values lose surrounding blanks and one pair of
// enclosing quotes on reading, as the Win32 profile calls return them. Texts are UTF-8 in memory
// and GBK on disk; lines end in CR LF when written, CR LF or LF when read. Lines the reader does
// not understand (comments, blank lines) are kept as they are when the file is rewritten.
namespace platform {

class IniFile {
 public:
  // The path may use "\" or "/" as separator.
  explicit IniFile(std::string path);

  // Reads the file; a missing or unreadable file leaves the object empty. Returns whether the
  // file could be read.
  bool Load();
  // Takes the file's bytes (GBK) from memory instead.
  void LoadText(std::string_view bytes);

  // Writes the whole file, replacing it atomically (a reader sees the old or the new file, never
  // half of one). Returns false when it could not be written.
  bool Save() const;

  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback = "") const;

  // Changes the key's first line, or adds the key at the end of its section, or adds the section
  // at the end of the file.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  void RemoveKey(const std::string& section, const std::string& key);
  void RemoveSection(const std::string& section);

  std::vector<std::string> Sections() const;
  std::vector<std::string> Keys(const std::string& section) const;

  const std::string& Path() const { return m_path; }

 private:
  // Index range [begin, end) of the section's lines after its header; begin = npos when absent.
  struct Range {
    size_t header;
    size_t begin;
    size_t end;
  };
  std::optional<Range> FindSection(const std::string& section) const;

  std::string m_path;
  std::vector<std::string> m_lines;
};

// One-call forms of the Win32 profile functions ("\" or "/" in the file's path). Read: the value,
// or `fallback` when the file, section or key is missing. Write: loads, changes and saves the file
// (created when missing); returns false when it could not be saved.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& fallback, const std::string& file);
int GetPrivateProfileInt(const std::string& section, const std::string& key, int fallback,
                         const std::string& file);
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file);

}  // namespace platform
