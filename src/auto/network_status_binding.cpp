#include "auto/network_status_binding.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>

#include "platform/network_status.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace netstatus {
namespace {

using PingFunction = NetworkStatusPingResult* (*)(const char*, int);
using TraceFunction = NetworkStatusTraceResult* (*)(const char*, int);

// Loaded anew for every probe and never closed: the loader keeps one copy and counts references,
// and a library that stays mapped can never be pulled from under a running probe.
void* LoadExport(const std::string& libraryPath, const char* name) {
  void* handle = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return dlsym(handle, name);
}

std::vector<std::string> Lines(char** lines, int count) {
  std::vector<std::string> out;
  if (!lines) return out;
  for (int i = 0; i < count; ++i)
    if (lines[i]) out.emplace_back(lines[i]);
  return out;
}

// Library texts are fixed-size fields; never read past them even when unterminated.
template <size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(field, std::find(field, field + N, '\0'));
}

}  // namespace

std::string LibraryPath() { return paths::Join(platform::ProgramFolder(), kLibraryName); }

PingResult Ping(const std::string& libraryPath, const std::string& destination, int count) {
  PingResult result;
  result.host = destination;
  result.destination = destination;
  auto function = reinterpret_cast<PingFunction>(LoadExport(libraryPath, "ping"));
  if (!function) return result;
  NetworkStatusPingResult* r = function(destination.c_str(), std::max(count, kMinPingCount));
  if (!r) return result;
  result.source = Text(r->source);
  result.destination = Text(r->destination);
  result.host = Text(r->host);
  result.success = r->success;
  result.packetSize = r->packetSize;
  result.average = r->average;
  result.transmitted = r->transmitted;
  result.minimum = r->minimum;
  result.maximum = r->maximum;
  result.received = r->received;
  result.loss = Text(r->loss);
  result.id = r->id;
  result.lines = Lines(r->lines, r->lineCount);
  result.stddev = r->stddev;
  std::free(r);
  return result;
}

TraceResult Tracert(const std::string& libraryPath, const std::string& destination, int maxHops) {
  TraceResult result;
  result.destination = destination;
  auto function = reinterpret_cast<TraceFunction>(LoadExport(libraryPath, "tracert"));
  if (!function) return result;
  NetworkStatusTraceResult* r = function(destination.c_str(), maxHops);
  if (!r) return result;
  result.source = Text(r->source);
  result.destination = Text(r->destination);
  result.success = r->success;
  result.id = r->id;
  result.lines = Lines(r->lines, r->lineCount);
  std::free(r);
  return result;
}

PingResult Ping(const std::string& destination, int count) {
  return Ping(LibraryPath(), destination, count);
}

TraceResult Tracert(const std::string& destination, int maxHops) {
  return Tracert(LibraryPath(), destination, maxHops);
}

}  // namespace netstatus
