#pragma once

#include <string>
#include <string_view>

namespace paths {

// Stored names keep the backslashes of the original ("conf\config.properties"); this turns
// them into a name the file system understands.
std::string Native(std::string_view path);

// Joins a relative name to a folder; an absolute name (leading "/", or "X:" drive form) is
// returned as it stands.
std::string Join(std::string_view folder, std::string_view name);

// Last component after "/" or "\".
std::string FileName(std::string_view path);

}  // namespace paths
