#include "update_client/update_manifest.h"

#include <nettle/eddsa.h>
#include <nettle/md5.h>
#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <limits>

#include "core/properties_file.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace {

// A manifest is three levels deep. The XML reader recurses once per level and checks each new
// attribute against all earlier ones of its element, so deep nesting would overflow the stack
// and a huge attribute list would take hours: both are refused before parsing.
constexpr int kMaxDepth = 64;
constexpr int kMaxAttributes = 256;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Whether the markup stays within the depth and attribute limits. It reads tags the way the
// reader does (comments, CDATA, declarations skipped; quoted attribute values may hold '>'),
// erring towards counting more.
bool WithinLimits(std::string_view s) {
  int depth = 0;
  size_t i = 0;
  const size_t n = s.size();
  auto skipTo = [&](std::string_view end) {
    size_t at = s.find(end, i);
    i = at == std::string_view::npos ? n : at + end.size();
  };
  while (i < n) {
    if (s[i] != '<') {
      ++i;
      continue;
    }
    std::string_view rest = s.substr(i);
    if (StartsWith(rest, "<!--")) {
      i += 4;
      skipTo("-->");
    } else if (StartsWith(rest, "<![CDATA[")) {
      i += 9;
      skipTo("]]>");
    } else if (StartsWith(rest, "<!") || StartsWith(rest, "<?")) {
      ++i;
      skipTo(">");
    } else if (StartsWith(rest, "</")) {
      if (depth > 0) --depth;
      ++i;
      skipTo(">");
    } else {
      // An opening tag: count its attributes; it nests unless it closes itself.
      int attributes = 0;
      char quote = 0;
      char last = 0;
      for (++i; i < n; ++i) {
        char c = s[i];
        if (quote) {
          if (c == quote) quote = 0;
          continue;
        }
        if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '=') {
          if (++attributes > kMaxAttributes) return false;
        } else if (c == '>') {
          break;
        }
        if (!std::isspace(static_cast<unsigned char>(c))) last = c;
      }
      ++i;
      if (last != '/' && ++depth > kMaxDepth) return false;
    }
  }
  return true;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The encoding named by the XML declaration, lower-cased; "" when there is none.
std::string DeclaredEncoding(std::string_view bytes) {
  if (!StartsWith(bytes, "<?xml")) return "";
  size_t end = bytes.find("?>");
  std::string_view decl = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end);
  size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return "";
  at = decl.find_first_of("\"'", at);
  if (at == std::string_view::npos) return "";
  size_t close = decl.find(decl[at], at + 1);
  if (close == std::string_view::npos) return "";
  return LowerAscii(decl.substr(at + 1, close - at - 1));
}

// The manifest's text as UTF-8: GBK when declared so, or when the bytes are not UTF-8.
std::string ToUtf8(std::string_view bytes) {
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (StartsWith(bytes, kBom)) bytes.remove_prefix(kBom.size());
  std::string encoding = DeclaredEncoding(bytes);
  bool gbk = encoding == "gbk" || encoding == "gb2312" || encoding == "gb18030" ||
             encoding == "cp936" || encoding == "x-gbk";
  if (gbk || !codepage::IsValidUtf8(bytes)) return codepage::GbkToUtf8(bytes);
  return std::string(bytes);
}

// Character references may name what UTF-8 cannot hold (surrogates, code points past
// U+10FFFF), which the reader writes out all the same: every text is cleaned on the way out.
std::string Clean(const char* text) { return text ? codepage::SanitizeUtf8(text) : ""; }

std::string Text(const TiXmlElement* e) { return Clean(e ? e->GetText() : nullptr); }

const TiXmlElement* FirstChildNamed(const TiXmlNode* parent, const char* name) {
  // Names compare exactly; FirstChildElement(name) does the same.
  return parent ? parent->FirstChildElement(name) : nullptr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool DecodeHex(std::string_view text, size_t bytes, uint8_t* out) {
  text = Trim(text);
  if (text.size() != bytes * 2) return false;
  for (size_t i = 0; i < bytes; ++i) {
    int hi = HexValue(text[2 * i]), lo = HexValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return true;
}

}  // namespace

bool UpdateManifest::Parse(std::string_view bytes) {
  *this = UpdateManifest();
  if (bytes.size() > kMaxBytes) return false;
  std::string text = ToUtf8(bytes);
  if (!WithinLimits(text)) return false;

  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (doc.Error()) return false;
  const TiXmlElement* root = doc.RootElement();
  if (!root) return false;

  m_parsed = true;
  m_rootName = Clean(root->Value());
  if (const TiXmlElement* v = FirstChildNamed(root, "Version")) {
    m_hasVersion = true;
    m_version = Text(v);
  }
  if (const TiXmlElement* info = FirstChildNamed(root, "UpdateInfo"))
    for (const TiXmlElement* note = info->FirstChildElement("note"); note;
         note = note->NextSiblingElement("note"))
      m_notes.push_back(Text(note));

  size_t block = 0;
  for (const TiXmlNode* node = FirstChildNamed(root, "versions"); node;
       node = node->NextSibling(), ++block) {
    for (const TiXmlElement* e = node->FirstChildElement(); e; e = e->NextSiblingElement()) {
      const std::string name = e->Value();
      ManifestItem item;
      if (name == "versionid")
        item.kind = ManifestItem::Kind::VersionId;
      else if (name == "File")
        item.kind = ManifestItem::Kind::File;
      else
        continue;
      item.block = block;
      const TiXmlAttribute* a = e->FirstAttribute();
      if (a) item.id = Clean(a->Value());
      if (item.kind == ManifestItem::Kind::VersionId) {
        item.text = Text(e);
        m_versionById[item.id] = item.text;
      } else if (a) {
        for (a = a->Next(); a; a = a->Next()) {
          std::string_view attr = a->Name();
          if (attr == "serpath")
            item.serverPath = Clean(a->Value());
          else if (attr == "localpath")
            item.localPath = Clean(a->Value());
          else if (attr == "verify")
            item.digest = Clean(a->Value());
          else if (attr == "size")
            item.size = Clean(a->Value());
        }
      }
      m_items.push_back(std::move(item));
    }
  }
  return true;
}

bool UpdateManifest::Load(const std::string& path) {
  *this = UpdateManifest();
  std::ifstream in(paths::Native(path), std::ios::binary);
  if (!in) return false;
  std::string bytes;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    bytes.append(buf, static_cast<size_t>(in.gcount()));
    if (bytes.size() > kMaxBytes) return false;
  }
  return Parse(bytes);
}

std::string UpdateManifest::NotesText() const {
  std::string out;
  for (const auto& n : m_notes) out += n + "\n";
  return out;
}

std::string UpdateManifest::VersionTextForId(const std::string& id) const {
  auto it = m_versionById.find(id);
  return it == m_versionById.end() ? "" : it->second;
}

int64_t ManifestIdValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

void CollectManifestFiles(const UpdateManifest& manifest, const std::string& installedVersion,
                          std::vector<UpdateFileEntry>& files, std::string* displayVersion) {
  std::unordered_map<std::string, size_t> byLocalPath;
  for (size_t i = 0; i < files.size(); ++i) byLocalPath.emplace(files[i].localPath, i);
  int64_t current = 0;
  bool skipping = false;
  size_t skippedBlock = 0;
  for (const ManifestItem& item : manifest.Items()) {
    if (skipping && item.block == skippedBlock) continue;
    skipping = false;
    if (item.kind == ManifestItem::Kind::VersionId) {
      if (item.text == installedVersion) {
        current = ManifestIdValue(item.id);
        skipping = true;
        skippedBlock = item.block;
      }
      continue;
    }
    if (current == 0 || ManifestIdValue(item.id) <= current) continue;
    auto [it, added] = byLocalPath.emplace(item.localPath, files.size());
    if (added) {
      files.push_back({item.serverPath, item.localPath, item.digest, item.size});
    } else {
      UpdateFileEntry& e = files[it->second];
      e.serverPath = item.serverPath;
      e.digest = item.digest;
      e.size = item.size;
    }
    if (item.localPath == "Kestrane" && displayVersion)
      *displayVersion = manifest.VersionTextForId(item.id);
  }
}

std::string FileMd5Hex(const std::string& path) {
  FILE* f = std::fopen(paths::Native(path).c_str(), "rb");
  if (!f) return "";
  md5_ctx ctx;
  md5_init(&ctx);
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) md5_update(&ctx, n, buf);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return "";
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&ctx, sizeof digest, digest);
  std::string out;
  char hex[3];
  for (uint8_t b : digest) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    out += hex;
  }
  return out;
}

bool VerifyEd25519Signature(std::string_view publicKeyHex, std::string_view message,
                            std::string_view signatureText) {
  uint8_t key[ED25519_KEY_SIZE];
  uint8_t signature[ED25519_SIGNATURE_SIZE];
  if (!DecodeHex(publicKeyHex, sizeof key, key)) return false;
  if (!DecodeHex(signatureText, sizeof signature, signature)) return false;
  return ed25519_sha512_verify(key, message.size(),
                               reinterpret_cast<const uint8_t*>(message.data()), signature) == 1;
}

std::string UpdatePublicKey() {
  std::string key = conf::Read(conf::kConfig, "update_public_key");
  return key == "null" ? "" : key;
}
