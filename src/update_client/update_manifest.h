#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The update manifest ("update.xml"), read the same way by Kestrane's update check and by the
// Update program. Texts are UTF-8 in memory: a manifest that declares GBK (or GB2312, GB18030),
// or whose bytes are not UTF-8, is converted from GBK first.

// One child element of a "versions" block, in document order.
struct ManifestItem {
  enum class Kind { VersionId, File };
  Kind kind = Kind::File;
  size_t block = 0;  // which block of the walk it belongs to, counted from 0
  std::string id;    // the first attribute's value, whatever its name ("" when it has none)
  std::string text;  // "versionid": the version text
  // "File": "serpath", "localpath", "verify" and "size", taken from the attributes after the
  // first one ("" when absent).
  std::string serverPath;
  std::string localPath;
  std::string digest;
  std::string size;
};

// A file to fetch and install, unique by local path in a list.
struct UpdateFileEntry {
  std::string serverPath;
  std::string localPath;
  std::string digest;
  std::string size;
};

class UpdateManifest {
 public:
  // Largest manifest read: anything longer is not a manifest.
  static constexpr size_t kMaxBytes = 4 * 1024 * 1024;

  // Parses the bytes of a manifest. False when they are not XML, have no element, are longer
  // than kMaxBytes, or nest too deep or carry too many attributes to be a manifest. A failed
  // parse leaves the object empty.
  bool Parse(std::string_view bytes);
  // Parses a file ("\" or "/" as separator); false when it cannot be read or parsed.
  bool Load(const std::string& path);

  bool Parsed() const { return m_parsed; }
  // Name of the root (the document's first element).
  const std::string& RootName() const { return m_rootName; }
  // Text of the root's first child element "Version"; "" when there is none.
  const std::string& Version() const { return m_version; }
  bool HasVersion() const { return m_hasVersion; }
  // Texts of the "note" children of the root's first "UpdateInfo", in document order.
  const std::vector<std::string>& Notes() const { return m_notes; }
  // The notes joined, each followed by "\n".
  std::string NotesText() const;
  // The "versions" walk: from the root's first child named "versions", that node and every
  // sibling node after it (whatever its name), and in each the child elements "versionid" and
  // "File".
  const std::vector<ManifestItem>& Items() const { return m_items; }

  // Version text of the last "versionid" whose first attribute's value equals `id` exactly;
  // "" when none does.
  std::string VersionTextForId(const std::string& id) const;

 private:
  bool m_parsed = false;
  std::string m_rootName;
  std::string m_version;
  bool m_hasVersion = false;
  std::vector<std::string> m_notes;
  std::vector<ManifestItem> m_items;
  std::unordered_map<std::string, std::string> m_versionById;
};

// The decimal value of an id text, as the walk reads ids: leading blanks and a sign allowed,
// digits up to the first other character, 0 when there are none; clamped to 64 bits.
int64_t ManifestIdValue(std::string_view text);

// The files that changed after `installedVersion`, merged into `files` (earlier entries with
// the same local path get the newer server path, digest and size; others are appended):
// the walk's current id starts at 0 and becomes the id of the "versionid" whose text equals
// the installed version (the rest of that block is skipped); a "File" counts while the current
// id is not 0 and its own id is greater. When a counted "File" is the main program "Kestrane"
// (compared exactly), `displayVersion` becomes the version text of that file's id.
void CollectManifestFiles(const UpdateManifest& manifest, const std::string& installedVersion,
                          std::vector<UpdateFileEntry>& files, std::string* displayVersion);

// MD5 (RFC 1321) of a file's bytes as 32 lower-case hexadecimal digits; "" when the file cannot
// be read (which never matches a digest).
std::string FileMd5Hex(const std::string& path);

// Ed25519 check of a detached signature: `publicKeyHex` is 64 hexadecimal digits, the
// signature text 128 (blanks and line ends around them are ignored). False for any malformed
// key or signature.
bool VerifyEd25519Signature(std::string_view publicKeyHex, std::string_view message,
                            std::string_view signatureText);

// Signed releases: "update_public_key" of conf\config.properties. Empty when not configured
// ("null" or an empty value); any other text is the key, however malformed, so that a broken
// key refuses every release rather than accepting unsigned ones.
std::string UpdatePublicKey();
// Signature file of a published file: its URL followed by ".sig".
inline constexpr std::string_view kSignatureSuffix = ".sig";
// Longest signature file read.
inline constexpr size_t kMaxSignatureBytes = 4096;
