#include "platform/autostart.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/atomic_file.h"
#include "platform/program_folder.h"

namespace platform {

namespace {

std::string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // A relative value is invalid by the base directory rules and is ignored.
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "") + "/.config";
}

}  // namespace

std::string AutostartEntryPath() {
  return ConfigHome() + "/autostart/" + kAutostartName + ".desktop";
}

bool IsAutostartOn() {
  const std::string path = AutostartEntryPath();
  return IsFile(path) && ::access(path.c_str(), R_OK) == 0;
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string DesktopExecArgument(const std::string& path) {
  // Quoting rules first: inside double quotes `"`, `` ` ``, `$` and `\` take a backslash.
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') {
      quoted += "%%";  // a lone % would start a field code
      continue;
    }
    quoted += c;
  }
  quoted += '"';
  // Then the string rules of the file, which readers undo before they split the command.
  std::string escaped;
  for (char c : quoted) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string AutostartEntryText(const std::string& executable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Kestrane\n"
         "Exec=" +
         DesktopExecArgument(executable) + "\n";
}

bool SetAutostart(bool on, const std::string& executable) {
  const std::string path = AutostartEntryPath();
  if (!on) {
    if (IsFile(path)) ::unlink(path.c_str());
    return !IsFile(path);
  }
  if (executable.empty() || executable[0] != '/') return false;
  CreateNestedFolder(ConfigHome() + "/autostart");
  WriteFileAtomically(path, AutostartEntryText(executable));
  return IsAutostartOn();
}

bool SetAutostart(bool on) { return SetAutostart(on, ExecutablePath()); }

}  // namespace platform
