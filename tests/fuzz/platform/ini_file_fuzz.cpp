// Profile files come back from the transfer program and from other programs' hands: reading any
// bytes must not crash, and a key written must read back as written.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::IniFile ini("/nonexistent/fuzz.ini");
  ini.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const auto& section : ini.Sections())
    for (const auto& key : ini.Keys(section)) (void)ini.Get(section, key);

  ini.Set("sftpput", "filename", "put Data\\a.zip");
  if (ini.GetString("sftpput", "filename") != "put Data\\a.zip") std::abort();
  ini.RemoveKey("sftpput", "filename");
  ini.RemoveSection("sftpput");
  return 0;
}
