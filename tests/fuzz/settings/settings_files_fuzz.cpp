// Settings and task files are fetched from the update server and edited by the program: any
// bytes must read without harm, and an item the program adds must read back and delete again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../fuzz_folder.h"
#include "auto/settings_files.h"

namespace {

bool HasItem(const std::string& file, int module, int id, const std::string& name,
             const std::string& address) {
  for (const settings::ModuleItem& item : settings::ReadModuleItems(file, module))
    if (item.id == id && item.name == name && item.address == address) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzfolder::Enter();
  const std::string file = "Config\\settings_fuzz.xml";
  fuzzfolder::WriteBytes("Config/settings_fuzz.xml", data, size);

  // Everything that reads the file.
  for (int module = 1; module <= 4; ++module) {
    settings::IsModuleSelected(module, file);
    settings::ReadModuleItems(file, module);
    settings::NextItemId(file, module);
  }
  settings::IsHistoryKept(file);
  settings::ReadBandMap(file);
  settings::ReadThresholds(file);
  settings::ReadMunicipalities(file);
  settings::ReadUploadAccount(file);

  // A template merged into a user's file.
  const std::string user = "Config\\settings_user.xml";
  fuzzfolder::WriteBytes("Config/settings_user.xml", data, size);
  settings::MergeTemplateInto(file, user);

  // The program's own edits keep what they promise.
  const int module = size > 0 ? 1 + data[0] % 4 : 2;
  const std::string name = "名<&\"'>";
  const std::string address = "http://a/?x=1&y=<2>";
  std::string id = settings::AddItem(file, module, name, address);
  if (!id.empty()) {
    int number = std::atoi(id.c_str());
    if (!HasItem(file, module, number, name, address)) abort();
    settings::SetSelected(file, module, number, false);
    if (!settings::DeleteItem(file, module, number)) abort();
    if (HasItem(file, module, number, name, address)) abort();
  }
  settings::SetHistoryKept(true, file);
  settings::IsHintSuppressed(file);
  settings::SetHintSuppressed(file);
  return 0;
}
