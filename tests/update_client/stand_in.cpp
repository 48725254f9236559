// A stand-in for a program of the folder (Update, Kestrane): appends "<pid> <words>" to
// "<name>.started" in its current folder, then runs until it is stopped, or ends at once when
// "<name>.exit" exists there.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  std::string name = argv[0];
  auto slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  std::string line = std::to_string(getpid());
  for (int i = 1; i < argc; ++i) line += std::string(" ") + argv[i];
  line += "\n";
  if (FILE* f = std::fopen((name + ".started").c_str(), "a")) {
    std::fputs(line.c_str(), f);
    std::fclose(f);
  }
  if (access((name + ".exit").c_str(), F_OK) == 0) return 0;
  for (;;) pause();
}
