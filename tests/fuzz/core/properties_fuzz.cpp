// Properties files are edited by hand and by other programs: any bytes must load, and a file
// saved after a change must read back with every setting it held plus the change.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "../fuzz_folder.h"
#include "core/properties_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzfolder::Enter();
  fuzzfolder::WriteBytes("conf/fuzz.properties", data, size);

  PropertiesFile file("conf\\fuzz.properties");
  file.Load();
  const auto before = file.Entries();
  // A key reads as the last value the file gave it.
  std::map<std::string, std::string> last;
  for (const auto& [key, value] : before) last[key] = value;
  for (const auto& [key, value] : last)
    if (file.Get(key) != value) abort();

  const bool had = last.count("fuzz_added") != 0;
  file.Add("fuzz_added", "1");
  file.Save(false);

  PropertiesFile again("conf/fuzz.properties");
  again.Load();
  std::vector<std::pair<std::string, std::string>> expected = before;
  if (!had) expected.emplace_back("fuzz_added", "1");
  if (again.Entries() != expected) abort();
  return 0;
}
