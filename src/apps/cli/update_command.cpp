#include "apps/cli/update_command.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "apps/cli/cli_commands.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "platform/codepage.h"
#include "platform/program_folder.h"
#include "update_client/update_manifest.h"
#include "update_client/updater.h"

namespace cli {
namespace {

std::string TodaysLog(const char* pattern) {
  char name[256];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(name, sizeof name, pattern, &local);
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  return codepage::GbkToUtf8(platform::ReadWholeFile(path).value_or(""));
}

}  // namespace

int UpdateCommand(bool checkOnly) {
  if (checkOnly) {
    CUpdater updater;
    bool failed = false;
    const bool current = updater.IsAppUpToDate(&failed);
    const std::string installed = conf::Read(conf::kUpdateProcess, "new_app_ver");
    if (failed) {
      std::fprintf(stderr, "无法与服务器通信,请检查网络！\n");
      return kExitTestFailed;
    }
    std::string server;
    // The manifest copy is in tmp/ now; its version is what the check compared.
    UpdateManifest manifest;
    if (manifest.Load(kManifestCopy)) server = manifest.Version();
    std::printf("installed: %s\nserver: %s\n", installed.c_str(), server.c_str());
    if (current) {
      DeleteFolderTree(kManifestFolder);
      std::printf("已经是最新版本！\n");
      return kExitOk;
    }
    std::string notes, error;
    if (updater.ReadManifestNotes(notes, error))
      std::printf("%s", notes.c_str());
    else
      std::printf("%s\n", error.c_str());
    return kExitOk;
  }
  // The pass appends to the day's log: print only what this run added.
  const size_t before = TodaysLog(logs::kUpdateThread).size();
  UpdateThreadProc();
  const std::string log = TodaysLog(logs::kUpdateThread);
  std::printf("%s", log.size() >= before ? log.substr(before).c_str() : log.c_str());
  std::printf("update_app_ver=%s\nupdate_process_id=%s\n",
              conf::Read(conf::kUpdateProcess, "update_app_ver").c_str(),
              conf::Read(conf::kUpdateProcess, "update_process_id").c_str());
  return kExitOk;
}

}  // namespace cli
