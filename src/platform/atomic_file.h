#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes a whole file beside its final name and renames it over the target, so a reader (or a
// crash) sees the old file or the new one, never a part. An existing file's mode is kept.
// The path may use "\" or "/" as separator.
// Returns false, leaving the target untouched, when anything fails, and also when the target
// exists and may not be written: a rename needs only the folder's permission, so without this
// check a file its owner made read-only would be replaced all the same.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// Whether an existing file may be written by this process. For the superuser, whom the kernel
// lets write anything, a file that has no write permission for anyone counts as read-only.
bool MayWriteExisting(const std::string& path);

}  // namespace platform
