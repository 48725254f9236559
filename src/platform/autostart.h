#pragma once

#include <string>

// Starting with the desktop session: an XDG autostart entry named after the program's Run
// value, "$XDG_CONFIG_HOME/autostart/Kestrane-c.desktop" ("~/.config" when the variable is
// unset, empty or relative), written for the current user only.
namespace platform {

inline constexpr const char* kAutostartName = "Kestrane-c";

// Full path of the entry file.
std::string AutostartEntryPath();

// Ticked: the entry exists and can be read.
bool IsAutostartOn();

// On: writes the entry atomically (the folder is created when missing) so that the session
// starts `executable` (absolute path); off: removes it. Returns whether the entry is now in the
// state asked for.
bool SetAutostart(bool on, const std::string& executable);
// The same for the running program (/proc/self/exe).
bool SetAutostart(bool on);

// The running program's absolute path; empty when it cannot be read.
std::string ExecutablePath();

// `path` as one quoted argument of an Exec key, escaped first by the quoting rules and then
// by the string rules of the desktop entry format, so a reader hands back the same path:
// a blank, `"`, `` ` ``, `$`, `\` and `%` survive.
std::string DesktopExecArgument(const std::string& path);

// The whole entry text for `executable`.
std::string AutostartEntryText(const std::string& executable);

}  // namespace platform
