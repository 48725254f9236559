// Login and score replies come from the network: any bytes must parse or be refused cleanly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/server_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  UserInfo info;
  session::ParseLoginReply(text, info);
  Scores scores;
  session::ParseScores(text, scores);
  return 0;
}
