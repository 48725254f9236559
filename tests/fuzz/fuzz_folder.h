#pragma once

// A private working folder for fuzz targets that read and write files by their program names
// ("Config\..."): made once per process (in memory when /dev/shm exists) and made current.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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
