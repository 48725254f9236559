#pragma once

#include <string>

// Folder helpers shared by the main program's update client and the updater.
namespace platform {

// Creates each leading folder of a file path split at "/" ("\" counts as "/"), shortest first;
// the last segment is the file name and is not created. An existing folder is no error.
bool MakeDirsForPath(const std::string& path);

// Deletes a folder with everything in it. Symbolic links are removed, never followed, so a
// link inside the tree cannot lead the deletion elsewhere. A folder that does not exist is
// left alone (true). Returns false when something could not be removed.
bool DeleteFolderTree(const std::string& path);

}  // namespace platform
