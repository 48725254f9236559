#pragma once

#include <string>
#include <vector>

// What the updater needs of the update manifest, over the one manifest reader the main program
// shares.
namespace updater {

struct ManifestFile {
  std::string id;  // the "File"'s first attribute, as text
  std::string serverPath;
  std::string localPath;
  std::string digest;
  std::string size;
};

// The text of the root's first "Version"; false when the file does not parse or has none.
bool ReadManifestVersion(const std::string& path, std::string* version);

// The files changed after `installedVersion`, in manifest order (duplicates kept: later ones
// win). False when the file does not parse.
bool ReadChangedFiles(const std::string& path, const std::string& installedVersion,
                      std::vector<ManifestFile>* files);

// The version text whose "versionid" carries `id`; empty when none does.
std::string VersionTextForManifestId(const std::string& path, const std::string& id);

// MD5 of a file as 32 lower-case hexadecimal digits; empty when it cannot be read.
std::string FileDigest(const std::string& path);

// Whether `sigPath` holds a valid Ed25519 signature (128 hexadecimal digits) of `dataPath`'s
// bytes under `publicKeyHex` (64 hexadecimal digits).
bool SignatureVerifies(const std::string& dataPath, const std::string& sigPath,
                       const std::string& publicKeyHex);

}  // namespace updater
