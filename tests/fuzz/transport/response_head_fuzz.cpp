// Response heads and URLs come from outside; their readers must take any bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/http_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  int status = transport::HeadStatus(text);
  if (status != 0 && (status < 100 || status > 999)) __builtin_trap();
  int64_t length = transport::HeadNumber(text, "Content-Length");
  if (length < -1) __builtin_trap();
  transport::HeadValue(text, "Content-Type");
  transport::UrlParts parts;
  if (transport::ParseUrl(text, &parts)) {
    if (parts.host.empty() || parts.port <= 0 || parts.port > 65535 || parts.object.empty() ||
        parts.object[0] != '/')
      __builtin_trap();
  }
  return 0;
}
