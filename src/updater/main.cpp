// Update: keeps Kestrane's files current. No word: one pass with the progress window;
// "update": background passes; "logoff": restarts Kestrane for a log off.
#include <string>
#include <vector>

#include "updater/update_program.h"
#include "updater/update_windows.h"

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  const updater::UpdateTiming timing = updater::UpdateTiming::FromEnvironment();
  CUpdateWindows windows(argc, argv, timing);
  return updater::RunUpdate(words, windows, timing);
}
