#pragma once

// Video address resolvers: the address of a video's web page in, the addresses of its media
// files out. One resolver per site; each fetches the page, cuts the video's identifier out of
// it, asks the site's information service and cuts the media addresses out of the replies.
//
// A resolver is its fetches (through a seam, FetchText by default) plus plain cuts over texts.
// The site endpoints are "video_host_<site>" of conf\config.properties, read at each
// resolution; a site without one resolves nothing and sends nothing.
//
// Resolvers block on the network: call them from a worker. They hold no state between calls,
// so one object may serve several threads.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace video {

enum class Site { Ku6, Letv, Youku, Tudou, Sina, Sohu, Ifeng };
inline constexpr int kSiteCount = 7;

// The order in which the site words are looked for in a page address: the automatic test's
// ("ku6", "letv", "youku", "tudou", "sina", "sohu", "ifeng") or the manual test's ("youku",
// "tudou", "letv", "sohu", "sina", "ku6", "ifeng"). The first word found wins.
enum class ResolveOrder { Automatic, Manual };

// "ku6", "letv", "youku", "tudou", "sina", "sohu", "ifeng".
const char* SiteWord(Site site);
// The site of a page address in the given order; false when it holds no site word.
bool SiteOf(std::string_view page, ResolveOrder order, Site* site);
// "video_host_<site>".
std::string SiteHostKey(Site site);

// Limits of one fetch and of one whole resolution; texts longer than kMaxTextBytes are cut.
inline constexpr int kFetchConnectMs = 5000;
inline constexpr int kFetchTotalMs = 15000;
inline constexpr int kResolveTotalMs = 30000;
inline constexpr size_t kMaxTextBytes = 4u << 20;
// Test hook: shorter limits (0 restores the default).
void SetLimitsForTest(int fetchTotalMs, int resolveTotalMs);

// GET of `url` with the agent "Kestrane" (proxies from the usual variables, at most 5
// redirects): the body with its line ends removed, malformed UTF-8 as "?", at most
// kMaxTextBytes. Empty when the address cannot be fetched or the status is not 2xx. Blanks,
// control and non-ASCII bytes of the address are percent-encoded.
std::string FetchText(const std::string& url, int timeoutMs = kFetchTotalMs);

// JSON-style unescaping: "\f" "\n" "\r" "\t", "\uXXXX" (a surrogate pair is one character, a
// lone surrogate "?", "\u0000" nothing) written as UTF-8; a backslash before anything else
// gives that character; a trailing backslash stays.
std::string Unescape(std::string_view text);
// Replies are UTF-8 already; this only makes sure of it (each malformed byte becomes "?").
std::string Utf8ToAnsi(std::string_view text);

// A base address as configured: blanks and trailing "/" dropped; empty when it is not an
// http or https address.
std::string NormalizeHost(const std::string& value);
// "video_host_<site>" from the configuration, normalized.
std::string ConfiguredHost(Site site);

// The youku pieces, exposed for tests and the fuzzer.
namespace youku {
// The 68-character source alphabet.
extern const char* const kSourceAlphabet;
// The alphabet mixed by `seed`; empty when the seed is negative once wrapped to 32 bits.
std::string MixedAlphabet(int64_t seed);
// File id from a list of decimal positions each followed by "*" (at most 128 used). False
// when a position is not a number in the alphabet.
bool FileId(const std::string& mixed, const std::string& encoded, std::string* fileId);
// The sid value: milliseconds since 1970, then a % 999 + 1000, then b % 9000 + 1000.
std::string SidValue(int64_t nowMs, int a, int b);
}  // namespace youku

// The run-time library's generator: values 0 to 32767, a fixed sequence per seed.
class SmallRandom {
 public:
  explicit SmallRandom(uint32_t seed) : m_state(seed) {}
  int Next() {
    m_state = m_state * 214013u + 2531011u;
    return static_cast<int>((m_state >> 16) & 0x7fff);
  }

 private:
  uint32_t m_state;
};

// What a resolver reaches outside through. Members left empty take the defaults.
struct ResolverSeams {
  // URL -> text within `timeoutMs`; FetchText by default.
  std::function<std::string(const std::string& url, int timeoutMs)> fetch;
  // Site -> base address (normalized or not); ConfiguredHost by default.
  std::function<std::string(Site site)> host;
  // Milliseconds since 1970; the system clock by default.
  std::function<int64_t()> nowMs;
  // Two draws of a generator seeded with `seed` (seconds since 1970); SmallRandom by default.
  std::function<std::pair<int, int>(uint32_t seed)> draw;
};

class VideoResolver {
 public:
  VideoResolver();
  explicit VideoResolver(ResolverSeams seams);

  // The media addresses of a page, by the site its address names; empty when unresolved.
  std::vector<std::string> Resolve(const std::string& page, ResolveOrder order) const;
  std::vector<std::string> ResolveSite(Site site, const std::string& page) const;

  std::vector<std::string> Ku6(const std::string& page) const;
  std::vector<std::string> Letv(const std::string& page) const;
  std::vector<std::string> Youku(const std::string& page) const;
  std::vector<std::string> YoukuById(const std::string& identifier) const;
  std::vector<std::string> Tudou(const std::string& page) const;
  std::vector<std::string> Sina(const std::string& page) const;
  std::vector<std::string> Sohu(const std::string& page) const;
  std::vector<std::string> Ifeng(const std::string& page) const;

 private:
  ResolverSeams m_seams;
};

// The first address, or the empty string.
inline std::string FirstAddress(const std::vector<std::string>& list) {
  return list.empty() ? std::string() : list.front();
}

}  // namespace video
