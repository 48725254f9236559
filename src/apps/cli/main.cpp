// kestrane-cli: the tests from a terminal, for scripts and machines without a display.
//
//   kestrane-cli [--folder DIR] login --user U --password P
//   kestrane-cli [--folder DIR] bandwidth [--server NAME] [--yes] [--json]
//   kestrane-cli [--folder DIR] resolve PAGE [--auto] [--json]
//   kestrane-cli [--folder DIR] ping|trace HOST [--count N] [--hops N] [--id N] [--json]
//   kestrane-cli [--folder DIR] filedown [URL] [--json]
//   kestrane-cli [--folder DIR] update [--check]
//   kestrane-cli [--folder DIR] auto [--cycles N] [--json]
//   kestrane-cli [--folder DIR] check [--json]
//   kestrane-cli [--folder DIR] webpage URL [--json]
//   kestrane-cli [--folder DIR] video URL [--media] [--json]      (windowed builds)
//
// Exit status: 0 success, 1 usage, 2 login failed, 3 test failed.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "apps/cli/cli_commands.h"
#include "apps/cli/resolve_command.h"
#include "apps/cli/update_command.h"
#include "auto/local_mac.h"
#include "platform/program_folder.h"
#if KESTRANE_GUI
#include "apps/cli/video_command.h"
#endif

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: kestrane-cli [--folder DIR] login --user U --password P\n"
               "       kestrane-cli [--folder DIR] bandwidth [--server NAME] [--yes] [--json]\n"
               "       kestrane-cli [--folder DIR] resolve PAGE [--auto] [--json]\n"
               "       kestrane-cli [--folder DIR] ping|trace HOST [--count N] [--hops N] [--id N] "
               "[--json]\n"
               "       kestrane-cli [--folder DIR] filedown [URL] [--json]\n"
               "       kestrane-cli [--folder DIR] update [--check]\n"
               "       kestrane-cli [--folder DIR] auto [--cycles N] [--json]\n"
               "       kestrane-cli [--folder DIR] check [--json]\n"
#ifdef KESTRANE_CLI_WEBPAGE
               "       kestrane-cli [--folder DIR] webpage URL [--json]\n"
#endif
  );
#if KESTRANE_GUI
  std::fprintf(stderr, "       kestrane-cli [--folder DIR] video URL [--media] [--json]\n");
#endif
  return cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = platform::ExecutableFolder();
  std::string command;
  cli::Options options;
  std::string page;
  bool automaticOrder = false;
  bool checkOnly = false;
  int cycles = 0;
  std::string videoUrl;
  bool mediaOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        *out = arg.substr(eq + 1);
        return true;
      }
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    auto is = [&](const char* name) {
      return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
    };
    if (is("--folder")) {
      if (!value(&folder)) return Usage();
    } else if (is("--user")) {
      if (!value(&options.user)) return Usage();
    } else if (is("--password")) {
      if (!value(&options.password)) return Usage();
    } else if (is("--server")) {
      if (!value(&options.server)) return Usage();
      options.serverGiven = true;
    } else if (is("--cycles")) {
      std::string text;
      if (!value(&text)) return Usage();
      char* end = nullptr;
      long n = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || n < 0 || n > 100000) return Usage();
      cycles = static_cast<int>(n);
    } else if (is("--count") || is("--hops") || is("--id")) {
      std::string text;
      if (!value(&text)) return Usage();
      char* end = nullptr;
      long n = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || n < 0 || n > 100000) return Usage();
      (is("--count")  ? options.count
       : is("--hops") ? options.hops
                      : options.id) = static_cast<int>(n);
    } else if (arg == "--yes" || arg == "-y") {
      options.yes = true;
    } else if (arg == "--auto") {
      automaticOrder = true;
    } else if (arg == "--check") {
      checkOnly = true;
    } else if (arg == "--media") {
      mediaOnly = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return cli::kExitOk;
    } else if (command.empty() && arg[0] != '-') {
      command = arg;
    } else if (command == "resolve" && page.empty() && !arg.empty() && arg[0] != '-') {
      page = arg;
    } else if ((command == "ping" || command == "trace") && options.host.empty() && arg[0] != '-') {
      options.host = arg;
    } else if ((command == "filedown" || command == "webpage") && options.url.empty() &&
               !arg.empty() && arg[0] != '-') {
      options.url = arg;
    } else if (command == "video" && videoUrl.empty() && !arg.empty() && arg[0] != '-') {
      videoUrl = arg;
    } else {
      std::fprintf(stderr, "kestrane-cli: unknown argument \"%s\"\n", arg.c_str());
      return Usage();
    }
  }
  if (command.empty()) return Usage();

  // Everything below resolves names against the folder after entering it: keep it absolute.
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (!error) folder = absolute.lexically_normal().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  platform::SetProgramFolder(folder);
  if (!platform::EnterProgramFolder()) {
    std::fprintf(stderr, "kestrane-cli: cannot enter the program folder %s\n", folder.c_str());
    return cli::kExitUsage;
  }
  // As at the program's start: the adapter's contracted-bandwidth key must exist, since the
  // record's "realbandwidth" is read from it.
  // Probes, checks and updates write nothing of it.
  if (command != "ping" && command != "trace" && command != "check" && command != "update")
    EnsureAdapterKey();
  options.interactive = isatty(STDIN_FILENO) != 0;
  options.progress = isatty(STDERR_FILENO) != 0;

  if (command == "login") {
    if (options.user.empty() || options.password.empty()) return Usage();
    return cli::LoginCommand(options);
  }
  if (command == "bandwidth") return cli::BandwidthCommand(options);
  if (command == "resolve") {
    if (page.empty()) return Usage();
    return cli::ResolveCommand(page, automaticOrder, options.json);
  }
  if (command == "ping" || command == "trace") {
    if (options.host.empty()) return Usage();
    return command == "ping" ? cli::PingCommand(options) : cli::TraceCommand(options);
  }
  if (command == "filedown") return cli::FileDownCommand(options);
  if (command == "update") return cli::UpdateCommand(checkOnly);
  if (command == "auto") return cli::AutoCommand(options, cycles);
  if (command == "check") return cli::CheckCommand(options);
#ifdef KESTRANE_CLI_WEBPAGE
  if (command == "webpage") {
    if (options.url.empty()) return Usage();
    return cli::WebPageCommand(options.url, options, argc, argv);
  }
#endif
#if KESTRANE_GUI
  if (command == "video") {
    if (videoUrl.empty()) return Usage();
    return cli::VideoCommand(options, videoUrl, mediaOnly, argc, argv);
  }
#endif
  std::fprintf(stderr, "kestrane-cli: unknown command \"%s\"\n", command.c_str());
  return Usage();
}
