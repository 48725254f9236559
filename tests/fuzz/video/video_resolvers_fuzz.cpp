// Video pages and the sites' replies come from the network. The input is one site's whole
// conversation: the first byte chooses what runs, the rest is split at lines "~~" into the page
// address and the texts the fetches answer, in order (the page text first when it is fetched).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "video/video_resolvers.h"

namespace {

std::vector<std::string> Split(const std::string& text) {
  static const std::string kMark = "\n~~\n";
  std::vector<std::string> pieces;
  size_t from = 0;
  for (size_t at = text.find(kMark); at != std::string::npos; at = text.find(kMark, from)) {
    pieces.push_back(text.substr(from, at - from));
    from = at + kMark.size();
  }
  pieces.push_back(text.substr(from));
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int what = data[0] % 4;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (what == 2) {
    video::Utf8ToAnsi(video::Unescape(rest));
    return 0;
  }
  if (what == 3) {
    // Mixing: a seed from the first eight bytes, then the rest as encoded file id positions.
    int64_t seed = 0;
    for (size_t i = 0; i < 8 && i < rest.size(); ++i)
      seed = (seed << 8) | static_cast<uint8_t>(rest[i]);
    const std::string mixed = video::youku::MixedAlphabet(seed);
    std::string id;
    video::youku::FileId(mixed.empty() ? video::youku::MixedAlphabet(1234) : mixed, rest, &id);
    return 0;
  }
  const std::vector<std::string> pieces = Split(rest);
  size_t next = 1;
  video::ResolverSeams seams;
  seams.fetch = [&](const std::string&, int) {
    return next < pieces.size() ? pieces[next++] : std::string();
  };
  seams.host = [](video::Site site) { return std::string("http://h/") + video::SiteWord(site); };
  seams.nowMs = [] { return int64_t{1700000000123}; };
  seams.draw = [](uint32_t) { return std::make_pair(1, 2); };
  video::VideoResolver(seams).Resolve(
      pieces[0], what == 0 ? video::ResolveOrder::Manual : video::ResolveOrder::Automatic);
  return 0;
}
