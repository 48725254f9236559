#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Folder of the running executable (from /proc/self/exe), without a trailing slash.
std::string ExecutableFolder();

// The folder every relative name of the program is resolved against: the executable's folder,
// unless a test has pointed it elsewhere with SetProgramFolder.
std::string ProgramFolder();
void SetProgramFolder(std::string folder);

// Start-up rule: make the program folder the current directory and create "log" and "DB"
// when missing. Failures are ignored; returns false when the folder could not be entered.
bool EnterProgramFolder();

// Creates every missing prefix of a path split at "/" (a "\" counts as "/"). An existing
// prefix is no error. Returns true when the whole path exists as a folder afterwards.
bool CreateNestedFolder(std::string_view path);

// The file functions below take names as stored values write them: "\" or "/" as separator.
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);
// Deletes a file; false when it could not be deleted (or was not there).
bool RemoveFile(const std::string& path);
// The whole file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Names of the plain files in a folder, in no particular order; empty when it cannot be read.
std::vector<std::string> FilesIn(const std::string& folder);

}  // namespace platform
