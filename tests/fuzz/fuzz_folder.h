#pragma once

// A private working folder for fuzz targets that read and write files by their program names
// ("Config\..."): made once per process (in memory when /dev/shm exists), made current, and
// removed when the process exits.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace fuzzfolder {

inline const std::string& Enter() {
  static const std::string folder = [] {
    struct stat st {};
    std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string path = base + "/kestrane-fuzz-XXXXXX";
    if (!mkdtemp(path.data())) abort();
    for (const char* sub : {"/Config", "/conf", "/Data"}) mkdir((path + sub).c_str(), 0755);
    if (chdir(path.c_str()) != 0) abort();
    // Kept apart from `folder`, which may already be destroyed when the exit handler runs.
    static const char* made = strdup(path.c_str());
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return path;
  }();
  return folder;
}

inline void WriteBytes(const std::string& name, const void* data, size_t size) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) abort();
  if (size && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
}

}  // namespace fuzzfolder
