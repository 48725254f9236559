#include "platform/ini_file.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/atomic_file.h"

namespace platform {
namespace {

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return std::string(text.substr(b, e - b));
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// "[name]" (blanks around allowed) -> name.
std::optional<std::string> SectionName(const std::string& line) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  auto close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(std::string_view(t).substr(1, close - 1));
}

// "key=value" -> key, value; comments and lines without "=" are not entries.
bool SplitEntry(const std::string& line, std::string& key, std::string& value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';') return false;
  auto eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(std::string_view(t).substr(0, eq));
  value = Trim(std::string_view(t).substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return true;
}

}  // namespace

IniFile::IniFile(std::string path) : m_path(paths::Native(path)) {}

bool IniFile::Load() {
  m_lines.clear();
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  LoadText(ss.str());
  return true;
}

void IniFile::LoadText(std::string_view bytes) {
  m_lines.clear();
  std::string text = codepage::GbkToUtf8(bytes);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    m_lines.push_back(std::move(line));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
}

bool IniFile::Save() const {
  std::string text;
  for (const auto& line : m_lines) {
    text += line;
    text += "\r\n";
  }
  std::string bytes = codepage::Utf8ToGbk(text);
  return platform::WriteFileAtomically(m_path, bytes);
}

std::optional<IniFile::Range> IniFile::FindSection(const std::string& section) const {
  for (size_t i = 0; i < m_lines.size(); ++i) {
    auto name = SectionName(m_lines[i]);
    if (!name || !SameName(*name, section)) continue;
    size_t end = i + 1;
    while (end < m_lines.size() && !SectionName(m_lines[end])) ++end;
    return Range{i, i + 1, end};
  }
  return std::nullopt;
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
  auto range = FindSection(section);
  if (!range) return std::nullopt;
  std::string k, v;
  for (size_t i = range->begin; i < range->end; ++i)
    if (SplitEntry(m_lines[i], k, v) && SameName(k, key)) return v;
  return std::nullopt;
}

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
  return Get(section, key).value_or(fallback);
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  std::string line = key + "=" + value;
  auto range = FindSection(section);
  if (!range) {
    m_lines.push_back("[" + section + "]");
    m_lines.push_back(line);
    return;
  }
  std::string k, v;
  size_t lastEntry = range->header;
  for (size_t i = range->begin; i < range->end; ++i) {
    if (!SplitEntry(m_lines[i], k, v)) continue;
    if (SameName(k, key)) {
      m_lines[i] = k + "=" + value;  // the key keeps its spelling in the file
      return;
    }
    lastEntry = i;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), line);
}

void IniFile::RemoveKey(const std::string& section, const std::string& key) {
  auto range = FindSection(section);
  if (!range) return;
  std::string k, v;
  for (size_t i = range->begin; i < range->end; ++i) {
    if (SplitEntry(m_lines[i], k, v) && SameName(k, key)) {
      m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void IniFile::RemoveSection(const std::string& section) {
  auto range = FindSection(section);
  if (!range) return;
  m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(range->header),
                m_lines.begin() + static_cast<std::ptrdiff_t>(range->end));
}

std::vector<std::string> IniFile::Sections() const {
  std::vector<std::string> out;
  for (const auto& line : m_lines)
    if (auto name = SectionName(line)) out.push_back(*name);
  return out;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
  std::vector<std::string> out;
  auto range = FindSection(section);
  if (!range) return out;
  std::string k, v;
  for (size_t i = range->begin; i < range->end; ++i)
    if (SplitEntry(m_lines[i], k, v)) out.push_back(k);
  return out;
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& fallback, const std::string& file) {
  IniFile ini(file);
  ini.Load();
  return ini.GetString(section, key, fallback);
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int fallback,
                         const std::string& file) {
  IniFile ini(file);
  ini.Load();
  auto value = ini.Get(section, key);
  if (!value || value->empty()) return fallback;
  // Like the Win32 call: the leading decimal digits count, anything else gives 0.
  return static_cast<int>(std::strtol(value->c_str(), nullptr, 10));
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file) {
  IniFile ini(file);
  ini.Load();
  ini.Set(section, key, value);
  return ini.Save();
}

}  // namespace platform
