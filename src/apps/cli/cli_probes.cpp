// kestrane-cli ping / trace: one probe through the probe library, printed as the collection
// would record it. Nothing is written or sent.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "apps/cli/cli_commands.h"
#include "auto/network_status_binding.h"
#include "auto/ping_trace.h"
#include "core/properties_file.h"

namespace cli {

namespace {

std::string SavedUserId() {
  std::string id = conf::Read(conf::kUser, "userid");
  return id == "null" ? std::string() : id;
}

std::string Now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return pingtrace::DateTimeText(local);
}

void Lines(rapidjson::Writer<rapidjson::StringBuffer>& w, const std::vector<std::string>& lines) {
  w.Key("lines");
  w.StartArray();
  for (const std::string& line : lines) w.String(line.c_str());
  w.EndArray();
}

}  // namespace

int PingCommand(const Options& options) {
  netstatus::PingResult r = netstatus::Ping(options.host, options.count);
  r.id = options.id;
  if (options.json) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("success");
    w.Int(r.success);
    w.Key("source");
    w.String(r.source.c_str());
    w.Key("destination");
    w.String(r.destination.c_str());
    w.Key("host");
    w.String(r.host.c_str());
    w.Key("packetSize");
    w.Int(r.packetSize);
    w.Key("transmitted");
    w.Int(r.transmitted);
    w.Key("received");
    w.Int(r.received);
    w.Key("loss");
    w.String(r.loss.c_str());
    w.Key("min");
    w.Double(r.minimum);
    w.Key("avg");
    w.Double(r.average);
    w.Key("max");
    w.Double(r.maximum);
    w.Key("stddev");
    w.Double(r.stddev);
    w.Key("id");
    w.Int(r.id);
    Lines(w, r.lines);
    w.EndObject();
    std::printf("%s\n", buffer.GetString());
  } else {
    std::fputs(
        pingtrace::PingRecordText(r, Now(), pingtrace::kMetypeDestination, SavedUserId()).c_str(),
        stdout);
  }
  return r.success ? kExitOk : kExitTestFailed;
}

int TraceCommand(const Options& options) {
  netstatus::TraceResult r = netstatus::Tracert(options.host, options.hops);
  r.id = options.id;
  if (options.json) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("success");
    w.Int(r.success);
    w.Key("source");
    w.String(r.source.c_str());
    w.Key("destination");
    w.String(r.destination.c_str());
    w.Key("id");
    w.Int(r.id);
    Lines(w, r.lines);
    w.EndObject();
    std::printf("%s\n", buffer.GetString());
  } else {
    std::fputs(
        pingtrace::TraceRecordText(r, Now(), pingtrace::kMetypeDestination, SavedUserId()).c_str(),
        stdout);
  }
  return r.success ? kExitOk : kExitTestFailed;
}

}  // namespace cli
