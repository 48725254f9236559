// What the update server and its manifest hand the updater: a response head, an address and a
// local path. None may crash it; an address it accepts makes a request of one line per header,
// and an accepted local path never leaves the folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "updater/http_get_to_file.h"
#include "updater/install.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int status = 0;
  int64_t length = 0;
  updater::ParseResponseHead(text, &status, &length);
  if (status < 0 || status > 999 || length < -1) abort();

  updater::UrlParts parts;
  if (updater::SplitUrl(text, &parts)) {
    if (parts.host.empty() || parts.target.empty() || parts.target[0] != '/') abort();
    if (parts.port < 1 || parts.port > 65535) abort();
    const std::string request = updater::RequestFor(parts);
    size_t lines = 0;
    for (size_t at = request.find("\r\n"); at != std::string::npos;
         at = request.find("\r\n", at + 2))
      ++lines;
    if (lines != 7 || request.find('\n') != request.find("\r\n") + 1) abort();
  }

  if (updater::IsSafeLocalPath(text)) {
    std::string p = text;
    for (char& c : p)
      if (c == '\\') c = '/';
    if (p.empty() || p[0] == '/') abort();
    for (size_t start = 0; start <= p.size();) {
      size_t end = p.find('/', start);
      if (end == std::string::npos) end = p.size();
      if (p.compare(start, end - start, "..") == 0 && end - start == 2) abort();
      start = end + 1;
    }
  }
  return 0;
}
