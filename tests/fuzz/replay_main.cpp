// Replays a fuzz target's seed corpus (every file below the folders or files given), so that an
// input that once crashed a parser keeps being checked by the ordinary test run. Each input also
// has a time bound, 5 s or KESTRANE_FUZZ_INPUT_MS (a megabyte of markup parses in well under one
// even on a busy machine): a parser that turns slow on some input fails here as surely as one
// that crashes.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    fs::path p(argv[i]);
    if (fs::is_directory(p)) {
      for (const auto& e : fs::recursive_directory_iterator(p))
        if (e.is_regular_file()) inputs.push_back(e.path());
    } else if (fs::is_regular_file(p)) {
      inputs.push_back(p);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no corpus files found\n");
    return 1;
  }
  long boundMs = 5000;
  if (const char* text = std::getenv("KESTRANE_FUZZ_INPUT_MS"))
    if (std::atol(text) > 0) boundMs = std::atol(text);
  int slow = 0;
  for (const auto& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto start = std::chrono::steady_clock::now();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    if (ms > boundMs) {
      std::fprintf(stderr, "%s took %lld ms (bound %ld ms)\n", p.c_str(),
                   static_cast<long long>(ms), boundMs);
      ++slow;
    }
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return slow == 0 ? 0 : 1;
}
