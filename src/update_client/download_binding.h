#pragma once

#include <string>

// Whole-file download through the outside download library "libUpdater.so" (export
// "HttpDownLoad"), loaded from the program folder anew at each call and freed again, so a
// replaced library is picked up by the next call. Safe to call from several threads at once.

// Result codes: 1 success (the whole file is at the destination), 101-108 from the library
// (108: digest mismatch), 109 the library cannot be loaded, 110 it has no "HttpDownLoad".
inline constexpr int kDownloadOk = 1;
inline constexpr int kDownloadLoadLibraryError = 109;
inline constexpr int kDownloadGetProcAddressError = 110;

// The library file name and the export, as loaded.
inline constexpr const char* kDownloadLibraryName = "libUpdater.so";
inline constexpr const char* kDownloadExportName = "HttpDownLoad";

// Writes its progress lines to the debug log. An empty `md5` skips the digest check.
int CallHttpDownLoad(const std::string& localPath, const std::string& url, const std::string& md5);

// The fixed message of a result code ("" for success, "其他错误" for an unknown code).
std::string DownloadErrorText(int code);
