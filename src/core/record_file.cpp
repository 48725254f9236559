#include "core/record_file.h"

#include <cstdio>

#include "core/log_file.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace records {

bool LineSafe(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return false;
  return !text.empty();
}

bool WriteRecordFile(const std::string& fileName, const std::string& utf8Text,
                     const char* logPattern, const char* kind) {
  const std::string path =
      paths::Native(paths::Join(platform::ProgramFolder(), "Data\\" + fileName));
  const std::string bytes = codepage::Utf8ToGbk(utf8Text);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    logs::Write(logPattern, "%s记录创建失败:%s", kind, fileName.c_str());
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    logs::Write(logPattern, "%s记录写入失败:%s", kind, fileName.c_str());
    return false;
  }
  return true;
}

}  // namespace records
