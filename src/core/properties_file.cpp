#include "core/properties_file.h"

#include <fcntl.h>
#include <nettle/des.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "core/c_format.h"
#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/paths.h"

PropertiesFile::PropertiesFile(std::string path) : m_path(std::move(path)) {}

void PropertiesFile::Load() {
  std::ifstream in(paths::Native(m_path), std::ios::binary);
  if (!in) return;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t pos = 0;
  while (pos < data.size()) {
    // A line is at most 255 bytes up to (not including) the line feed; then one more byte is
    // consumed, which is the line feed for every line of ordinary length.
    size_t end = pos;
    while (end < data.size() && end - pos < kMaxLineBytes && data[end] != '\n') ++end;
    std::string raw = data.substr(pos, end - pos);
    pos = end + 1;
    if (raw.empty()) break;
    if (raw[0] == '#') continue;
    auto eq = raw.find('=');
    if (eq == std::string::npos) break;
    std::string key = codepage::GbkToUtf8(raw.substr(0, eq));
    std::string value = codepage::GbkToUtf8(raw.substr(eq + 1));
    m_entries.emplace_back(key, value);
    m_index[key] = value;
  }
}

std::string PropertiesFile::Get(const std::string& key) const {
  auto it = m_index.find(key);
  return it == m_index.end() ? std::string("null") : it->second;
}

bool PropertiesFile::FitsOnALine(const std::string& key, const std::string& value) {
  const auto lineEnd = [](const std::string& s) { return s.find_first_of("\r\n") != s.npos; };
  if (lineEnd(key) || lineEnd(value)) return false;
  return codepage::Utf8ToGbk(key).size() + 1 + codepage::Utf8ToGbk(value).size() <= kMaxLineBytes;
}

bool PropertiesFile::Set(const std::string& key, const std::string& value) {
  auto it = m_index.find(key);
  if (it == m_index.end() || !FitsOnALine(key, value)) return false;
  it->second = value;
  for (auto& e : m_entries)
    if (e.first == key) e.second = value;
  m_modified = true;
  return true;
}

bool PropertiesFile::Add(const std::string& key, const std::string& value) {
  if (m_index.count(key) || !FitsOnALine(key, value)) return false;
  m_entries.emplace_back(key, value);
  m_index[key] = value;
  m_modified = true;
  return true;
}

void PropertiesFile::Save(bool stampLastLogin) {
  if (!m_modified) return;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  if (stampLastLogin) Set("pre_date", cformat::Time("%Y-%m-%d %H\\:%M\\:%S", tm));
  std::string text = "#user config\n";
  text += cformat::Time("#%a %b %d %X %Z %Y\n", tm);
  for (const auto& [key, value] : m_entries) {
    text += codepage::Utf8ToGbk(key);
    text += '=';
    text += codepage::Utf8ToGbk(value);
    text += '\n';
  }

  // Replaced whole, so a crash in the middle never leaves a truncated file.
  platform::WriteFileAtomically(paths::Native(m_path), text);
}

namespace {

bool DesKey(const std::string& key, des_ctx* ctx) {
  if (key.size() != DES_KEY_SIZE) return false;
  // Parity bits are ignored; a weak key is still usable for scrambling.
  des_set_key(ctx, reinterpret_cast<const uint8_t*>(key.data()));
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string EncodeStoredValue(const std::string& plain, const std::string& key) {
  des_ctx ctx;
  if (!DesKey(key, &ctx)) return {};
  std::string bytes = codepage::Utf8ToGbk(plain);
  std::string out;
  static const char* digits = "0123456789ABCDEF";
  for (size_t i = 0; i < bytes.size(); i += DES_BLOCK_SIZE) {
    uint8_t block[DES_BLOCK_SIZE] = {};
    size_t n = std::min<size_t>(DES_BLOCK_SIZE, bytes.size() - i);
    std::memcpy(block, bytes.data() + i, n);
    uint8_t cipher[DES_BLOCK_SIZE];
    des_encrypt(&ctx, DES_BLOCK_SIZE, cipher, block);
    for (uint8_t b : cipher) {
      out.push_back(digits[b >> 4]);
      out.push_back(digits[b & 15]);
    }
  }
  return out;
}

std::string DecodeStoredValue(const std::string& hex, const std::string& key) {
  des_ctx ctx;
  if (!DesKey(key, &ctx)) return {};
  if (hex.size() % 16 != 0) return {};
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 16) {
    uint8_t block[DES_BLOCK_SIZE];
    for (size_t k = 0; k < DES_BLOCK_SIZE; ++k) {
      int hi = HexValue(hex[i + 2 * k]);
      int lo = HexValue(hex[i + 2 * k + 1]);
      if (hi < 0 || lo < 0) return {};
      block[k] = static_cast<uint8_t>(hi << 4 | lo);
    }
    uint8_t plain[DES_BLOCK_SIZE];
    des_decrypt(&ctx, DES_BLOCK_SIZE, plain, block);
    bytes.append(reinterpret_cast<char*>(plain), DES_BLOCK_SIZE);
  }
  auto zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  return codepage::GbkToUtf8(bytes);
}

namespace conf {

std::string Read(const char* file, const std::string& key) {
  PropertiesFile f(file);
  f.Load();
  return f.Get(key);
}

std::string UploadMethod() {
  std::string m = Read(kConfig, "upload_method");
  if (m == "null") m = Read(kUser, "upload_method");
  if (m == "null") m = "m1";
  return m;
}

}  // namespace conf
