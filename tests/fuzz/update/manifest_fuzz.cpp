// The update manifest comes from a server: any bytes must parse or be refused without a crash
// or a hang, every text must come out as UTF-8, and the walk must keep its list unique by local
// path.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "update_client/update_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  UpdateManifest m;
  if (!m.Parse(bytes)) {
    if (m.Parsed() || !m.Items().empty() || !m.Version().empty()) abort();
    return 0;
  }
  if (!codepage::IsValidUtf8(m.Version()) || !codepage::IsValidUtf8(m.NotesText())) abort();
  std::vector<std::string> installed = {m.Version(), "", "1.0.0"};
  for (const ManifestItem& item : m.Items()) {
    if (!codepage::IsValidUtf8(item.text) || !codepage::IsValidUtf8(item.localPath)) abort();
    if (item.kind == ManifestItem::Kind::VersionId) installed.push_back(item.text);
    if (installed.size() > 8) break;
  }
  for (const std::string& version : installed) {
    std::vector<UpdateFileEntry> files;
    std::string display;
    CollectManifestFiles(m, version, files, &display);
    std::set<std::string> seen;
    for (const auto& f : files)
      if (!seen.insert(f.localPath).second) abort();
    // A second walk over the same list changes nothing but the entries' contents.
    size_t count = files.size();
    CollectManifestFiles(m, version, files, &display);
    if (files.size() != count) abort();
  }
  return 0;
}
