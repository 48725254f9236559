#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes a whole file beside its final name and renames it over the target, so a reader (or a
// crash) sees the old file or the new one, never a part. An existing file's mode is kept.
// Returns false, leaving the target untouched, when anything fails.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace platform
