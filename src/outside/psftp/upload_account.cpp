#include "outside/psftp/upload_account.h"

#include <cstdlib>

#include "auto/settings_files.h"
#include "platform/program_folder.h"

namespace psftp {

bool LoadUploadAccount(Target& target) {
  if (!platform::IsFile(settings::kUploadAccountFile)) return false;
  settings::UploadAccount account = settings::ReadUploadAccount();
  if (target.host.empty()) target.host = account.host;
  char* end = nullptr;
  long port = std::strtol(account.port.c_str(), &end, 10);
  target.port = (!account.port.empty() && *end == '\0' && port > 0 && port < 65536)
                    ? static_cast<int>(port)
                    : 22;
  target.user = account.userName;
  target.password = account.password;
  return true;
}

}  // namespace psftp
