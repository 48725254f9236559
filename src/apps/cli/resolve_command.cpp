#include "apps/cli/resolve_command.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>

#include "apps/cli/cli_commands.h"
#include "video/video_resolvers.h"

namespace cli {

int ResolveCommand(const std::string& page, bool automatic, bool json) {
  const video::ResolveOrder order =
      automatic ? video::ResolveOrder::Automatic : video::ResolveOrder::Manual;
  video::Site site;
  const bool known = video::SiteOf(page, order, &site);
  const std::vector<std::string> addresses = video::VideoResolver().Resolve(page, order);
  if (json) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> out(buffer);
    out.StartObject();
    out.Key("page");
    out.String(page.c_str(), static_cast<rapidjson::SizeType>(page.size()));
    out.Key("site");
    out.String(known ? video::SiteWord(site) : "");
    out.Key("order");
    out.String(automatic ? "automatic" : "manual");
    out.Key("addresses");
    out.StartArray();
    for (const auto& a : addresses)
      out.String(a.c_str(), static_cast<rapidjson::SizeType>(a.size()));
    out.EndArray();
    out.EndObject();
    std::printf("%s\n", buffer.GetString());
  } else {
    for (const auto& a : addresses) std::printf("%s\n", a.c_str());
  }
  if (addresses.empty()) {
    if (!known)
      std::fprintf(stderr, "kestrane-cli: no video site in \"%s\"\n", page.c_str());
    else
      std::fprintf(stderr, "kestrane-cli: %s gave no media address\n", video::SiteWord(site));
    return kExitTestFailed;
  }
  return kExitOk;
}

}  // namespace cli
