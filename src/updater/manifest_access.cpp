#include "updater/manifest_access.h"

// Placeholder until the shared manifest reader is merged.
namespace updater {
bool ReadManifestVersion(const std::string&, std::string*) { return false; }
bool ReadChangedFiles(const std::string&, const std::string&, std::vector<ManifestFile>*) {
  return false;
}
std::string VersionTextForManifestId(const std::string&, const std::string&) { return {}; }
std::string FileDigest(const std::string&) { return {}; }
bool SignatureVerifies(const std::string&, const std::string&, const std::string&) { return false; }
}  // namespace updater
