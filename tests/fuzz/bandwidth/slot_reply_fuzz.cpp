// Replies of the test server's slot request and "dest_config.xml" values come from outside.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bandwidth/band_statistics.h"
#include "bandwidth/server_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const band::SlotReply reply = band::ParseSlotReply(text);
  if (size == 0 && reply.status != '\0') std::abort();
  if (size > 0 && reply.status != text[0]) std::abort();
  const std::string rest = size > 2 ? text.substr(2) : std::string();
  if (rest.compare(0, reply.key.size(), reply.key) != 0) std::abort();
  if (rest.find_first_not_of(" \t\r\n", reply.key.size()) != std::string::npos) std::abort();

  std::string address, monitor;
  ParseDestValue(text, &address, &monitor);
  if (address.size() > 15 || (address.empty() != monitor.empty())) std::abort();
  if (!address.empty() && text.find(address + ":" + monitor + ":") == std::string::npos)
    std::abort();
  return 0;
}
