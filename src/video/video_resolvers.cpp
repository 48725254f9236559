#include "video/video_resolvers.h"

#include <curl/curl.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <atomic>
#include <boost/regex.hpp>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "core/http_transport.h"
#include "core/properties_file.h"
#include "markup/markup_document.h"
#include "platform/codepage.h"

namespace video {

namespace {

std::atomic<int> g_fetchMs{kFetchTotalMs};
std::atomic<int> g_resolveMs{kResolveTotalMs};

constexpr const char* kWords[kSiteCount] = {"ku6",  "letv", "youku", "tudou",
                                            "sina", "sohu", "ifeng"};
constexpr Site kAutomatic[kSiteCount] = {Site::Ku6,  Site::Letv, Site::Youku, Site::Tudou,
                                         Site::Sina, Site::Sohu, Site::Ifeng};
constexpr Site kManual[kSiteCount] = {Site::Youku, Site::Tudou, Site::Letv, Site::Sohu,
                                      Site::Sina,  Site::Ku6,   Site::Ifeng};

// Most identifiers and segments a reply may hand out.
constexpr size_t kMaxSegments = 128;

constexpr size_t npos = std::string::npos;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string Trim(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::string WithoutBlanks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (!IsBlank(c)) out += c;
  return out;
}

// text[from, to), empty when the range is upside down or outside the text.
std::string Cut(const std::string& text, size_t from, size_t to) {
  if (from == npos || to == npos || from > to || to > text.size()) return "";
  return text.substr(from, to - from);
}

// The whole text matched by `pattern` in `text`. The matcher throws at its complexity and
// stack limits; such a page simply does not match.
bool Search(const char* pattern, const std::string& text, std::string* match) {
  // Each pattern is compiled once; the patterns are literals, so their address names them.
  static std::mutex lock;
  static std::map<const char*, std::shared_ptr<const boost::regex>> compiled;
  try {
    std::shared_ptr<const boost::regex> re;
    {
      std::lock_guard<std::mutex> guard(lock);
      auto& slot = compiled[pattern];
      if (!slot) slot = std::make_shared<const boost::regex>(pattern, boost::regex::perl);
      re = slot;
    }
    boost::smatch m;
    if (!boost::regex_search(text, m, *re)) return false;
    *match = m.str(0);
    return true;
  } catch (...) {
    return false;
  }
}

// The text between the first `quote` and the next one, when both are there.
bool BetweenQuotes(const std::string& text, char quote, size_t from, std::string* out) {
  const size_t a = text.find(quote, from);
  if (a == npos) return false;
  const size_t b = text.find(quote, a + 1);
  if (b == npos) return false;
  *out = text.substr(a + 1, b - a - 1);
  return true;
}

// Everything after the first `mark`; empty when there is none.
std::string After(const std::string& text, char mark) {
  const size_t p = text.find(mark);
  return p == npos ? "" : text.substr(p + 1);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  size_t p = 0;
  while ((p = text.find(from, p)) != npos) {
    text.replace(p, from.size(), to);
    p += to.size();
  }
  return text;
}

// Every occurrence of "http" from the second character on, up to the next `end`.
void AppendHttpRuns(const std::string& text, const std::string& end,
                    std::vector<std::string>* out) {
  size_t p = text.size() > 1 ? text.find("http", 1) : npos;
  while (p != npos) {
    const size_t e = text.find(end, p);
    if (e == npos) return;
    out->push_back(text.substr(p, e - p));
    p = text.find("http", e + end.size());
  }
}

// Leading blanks, an optional sign and at least one digit; saturates at the 64-bit limits.
bool ReadDecimal(const std::string& text, int64_t* value) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int d = text[i] - '0';
    v = v > (INT64_MAX - d) / 10 ? INT64_MAX : v * 10 + d;
  }
  *value = negative ? -v : v;
  return true;
}

int32_t Wrap32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Four hexadecimal digits at text[i]; false when they are not all there.
bool Hex4(std::string_view text, size_t i, uint32_t* unit) {
  if (i + 4 > text.size()) return false;
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) {
    const int d = HexDigit(text[i + k]);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  *unit = v;
  return true;
}

// Blanks, control and non-ASCII bytes as %XX; libcurl refuses them raw.
std::string EncodeAddress(const std::string& url) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct Body {
  std::string text;
  bool full = false;
};

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  const size_t n = size * count;
  const size_t room = kMaxTextBytes - std::min(body->text.size(), kMaxTextBytes);
  body->text.append(data, std::min(n, room));
  if (n > room) {
    // The page is cut here; the rest is not read.
    body->full = true;
    return 0;
  }
  return n;
}

// One resolution: the seams, the site's base address and the time it must end by.
struct Run {
  const ResolverSeams& seams;
  std::string host;
  int64_t deadline;

  Run(const ResolverSeams& s, std::string base)
      : seams(s), host(std::move(base)), deadline(transport::TickMs() + g_resolveMs.load()) {}

  // Nothing more is sent once the resolution's time is up.
  std::string Fetch(const std::string& url) const {
    const int64_t left = deadline - transport::TickMs();
    if (left <= 0) return "";
    std::string text =
        seams.fetch(url, static_cast<int>(std::min<int64_t>(left, g_fetchMs.load())));
    if (text.size() > kMaxTextBytes) text.resize(kMaxTextBytes);
    return text;
  }
};

std::string SiteHost(const ResolverSeams& seams, Site site) {
  return NormalizeHost(seams.host(site));
}

std::vector<std::string> Ku6(const Run& run, const std::string& page) {
  const std::string text = run.Fetch(page);
  std::string match, id;
  if (Search("vid\\s*:\\s*'([0-9a-zA-Z\\.\\-\\_]+)'", text, &match)) {
    if (!BetweenQuotes(match, '\'', 0, &id)) id = After(match, '=');
  } else if (Search("\"vid\\s*\"\\s*:\\s*\"([0-9a-zA-Z\\.\\-\\_]+)\"", text, &match)) {
    const size_t colon = match.find(':');
    if (colon != npos) BetweenQuotes(match, '"', colon, &id);
  } else if (Search("vid\\s*=\\s*([0-9a-zA-Z\\.\\-\\_]+)", text, &match)) {
    id = After(match, '=');
  }
  // The patterns allow blanks around the value: "vid = abc" names "abc".
  id = Unescape(Trim(id));
  const std::string reply = run.Fetch(run.host + "/fetch.htm?t=getVideo4Player&vid=" + id);
  std::vector<std::string> result;
  if (reply.empty()) return result;
  const std::string plain = Unescape(reply);
  size_t p = plain.size() > 1 ? plain.find("\"f\"", 1) : npos;
  while (p != npos) {
    const size_t a = plain.find('"', p + 3);
    if (a == npos) break;
    const size_t b = plain.find('"', a + 1);
    if (b == npos) break;
    result.push_back(plain.substr(a + 1, b - a - 1));
    p = plain.find("\"f\"", b + 1);
  }
  return result;
}

// The first element of the array `name` of `object` when it is a string.
std::string FirstString(const rapidjson::Value& object, const char* name) {
  if (!object.IsObject()) return "";
  auto it = object.FindMember(name);
  if (it == object.MemberEnd() || !it->value.IsArray() || it->value.Empty()) return "";
  const rapidjson::Value& first = it->value[0];
  return first.IsString() ? std::string(first.GetString(), first.GetStringLength()) : "";
}

bool ParseJson(const std::string& text, rapidjson::Document* doc) {
  // Iterative parsing: a reply of nested brackets cannot exhaust the stack.
  doc->Parse<rapidjson::kParseIterativeFlag>(text.c_str(), text.size());
  return !doc->HasParseError();
}

std::vector<std::string> Letv(const Run& run, const std::string& page) {
  const std::string text = run.Fetch(page);
  std::vector<std::string> ids;
  std::string match;
  if (Search("vid\\s*:\\s*(\\d+)\\s*,", text, &match)) {
    const size_t colon = match.find(':');
    const size_t comma = match.find(',', colon);
    ids.push_back(Trim(Cut(match, colon + 1, comma)));
  } else if (Search("vid\\s*=\\s*(\\d+)\\s*", text, &match)) {
    ids.push_back(WithoutBlanks(After(match, '=')));
  } else if (Search("xid\\s*:\\s*(\\d+)\\s*", text, &match)) {
    ids.push_back(WithoutBlanks(After(match, ':')));
  } else if (Search("pcid\\s*:\\s*\\[\\s*(.*)\\s*\\]", text, &match)) {
    const std::string list = match.substr(0, match.find(']') + 1);
    size_t p = 1;
    std::string id;
    while (ids.size() < kMaxSegments && BetweenQuotes(list, '"', p, &id)) {
      ids.push_back(Trim(id));
      p = list.find('"', list.find('"', p) + 1) + 1;
    }
  }
  std::vector<std::string> result;
  for (const std::string& id : ids) {
    MarkupDocument doc;
    doc.ParseText(run.Fetch(run.host + "/v_xml/" + id + ".xml"));
    doc.Rewind();
    const std::string playurl = doc.FindChild("playurl") ? doc.ChildText() : "";
    rapidjson::Document json;
    // A text that is not JSON ends the whole resolution.
    if (!ParseJson(playurl, &json)) break;
    if (!json.IsObject()) continue;
    auto dispatch = json.FindMember("dispatch");
    if (dispatch == json.MemberEnd() || !dispatch->value.IsObject()) continue;
    auto list = dispatch->value.FindMember("350");
    if (list == dispatch->value.MemberEnd() || !list->value.IsArray() || list->value.Size() < 2)
      continue;
    const rapidjson::Value& first = list->value[0];
    if (first.IsString()) result.emplace_back(first.GetString(), first.GetStringLength());
  }
  return result;
}

// youku by identifier; `album` is the variant of tudou's album pages.
std::vector<std::string> YoukuById(const Run& run, const std::string& id, bool album) {
  const std::string reply = run.Fetch(run.host + "/player/getPlayList/VideoIDS/" + id);
  std::vector<std::string> none;
  if (album && reply.find("flv") == npos) return none;

  const int64_t now = run.seams.nowMs();
  const auto [a, b] = run.seams.draw(static_cast<uint32_t>(now / 1000));
  const std::string sid = youku::SidValue(now, a, b);

  // Every cut needs its markers; without one there is no segment at all.
  const size_t segs = reply.find("segs");
  const size_t segsFlv = segs == npos ? npos : reply.find("flv", segs);
  const size_t segsEnd = segsFlv == npos ? npos : reply.find(']', segsFlv);
  if (segsEnd == npos) return none;
  const std::string segments = Cut(reply, segsFlv + 6, segsEnd);
  size_t count = 0;
  for (size_t p = segments.find("no"); p != npos; p = segments.find("no", p + 2)) ++count;
  count = std::min(count, kMaxSegments);

  const size_t ids = reply.find("streamfileids");
  const size_t idsFlv = ids == npos ? npos : reply.find("flv", ids);
  const size_t idsEnd = idsFlv == npos ? npos : reply.find('"', idsFlv + 8);
  if (idsEnd == npos) return none;
  const std::string encoded = Cut(reply, idsFlv + 6, idsEnd);

  const size_t seedAt = reply.find("seed");
  const size_t seedEnd = seedAt == npos ? npos : reply.find(',', seedAt);
  int64_t seed = 0;
  if (seedEnd == npos || !ReadDecimal(Cut(reply, seedAt + 6, seedEnd), &seed)) return none;
  const std::string mixed = youku::MixedAlphabet(seed);
  std::string fileId;
  if (mixed.empty() || !youku::FileId(mixed, encoded, &fileId) || fileId.size() < 10) return none;

  std::vector<std::string> keys;
  for (size_t p = segments.find("\"k\""); p != npos && keys.size() < count;
       p = segments.find("\"k\"", p + 3)) {
    const size_t comma = segments.find(',', p);
    if (comma == npos) break;
    keys.push_back(Cut(segments, p + 5, comma - 1));
  }

  std::vector<std::string> result;
  for (size_t j = 0; j < count; ++j) {
    const std::string s = (j <= 9 ? "0" : "") + std::to_string(j);
    const std::string segmentId = fileId.substr(0, 8) + s + fileId.substr(10);
    result.push_back(run.host + "/player/getFlvPath/sid/" + sid + "_" + s + "/st/flv/fileid/" +
                     segmentId + "?K=" + (j < keys.size() ? keys[j] : ""));
  }
  return result;
}

std::string YoukuIdentifier(const std::string& page) {
  const size_t at = page.find("id_");
  if (at == npos) return "";
  const size_t dot = page.find('.', at + 3);
  return dot == npos ? "" : page.substr(at + 3, dot - at - 3);
}

std::vector<std::string> Tudou(const ResolverSeams& seams, const std::string& page) {
  if (page.find("albumplay") != npos) {
    // Album pages name a youku video.
    const Run run(seams, SiteHost(seams, Site::Youku));
    if (run.host.empty()) return {};
    std::string match, code;
    if (!Search("vcode\\s*:\\s*'(.*)'", run.Fetch(page), &match) ||
        !BetweenQuotes(match, '\'', 0, &code))
      return {};
    return YoukuById(run, code, true);
  }
  const Run run(seams, SiteHost(seams, Site::Tudou));
  if (run.host.empty()) return {};
  std::string match;
  if (!Search("iid\\s*:\\s*(\\d+)", run.Fetch(page), &match)) return {};
  const std::string iid = WithoutBlanks(After(match, ':'));
  const std::string reply =
      ReplaceAll(run.Fetch(run.host + "/v?vn=02&st=1%2C2&it=" + iid), "&amp;", "&");
  std::vector<std::string> result;
  AppendHttpRuns(reply, "</f>", &result);
  return result;
}

std::vector<std::string> Sina(const Run& run, const std::string& page) {
  std::string id;
  const size_t hash = page.find('#');
  if (hash != npos) {
    id = page.substr(hash + 1);
  } else {
    std::string match;
    if (!Search("vid\\s*:\\s*('.*')", run.Fetch(page), &match) ||
        !BetweenQuotes(match, '\'', 0, &id))
      return {};
    id = Trim(id);
  }
  const std::string reply = Utf8ToAnsi(run.Fetch(run.host + "/v_play.php?vid=" + id));
  std::vector<std::string> result;
  AppendHttpRuns(reply, "]", &result);
  return result;
}

std::vector<std::string> Sohu(const Run& run, const std::string& page) {
  const std::string text = run.Fetch(page);
  std::vector<std::string> ids;
  std::string match, id;
  // The identifier is the digits between the quotes, however the assignment is spaced.
  if (Search("\\s*vid\\s*=\\s*'\\d+'\\s*;", text, &match)) {
    if (BetweenQuotes(match, '\'', match.find('='), &id)) ids.push_back(id);
  } else if (Search("\\s*vid\\s*=\\s*(\"\\d+\")\\s*\\;\\s*", text, &match)) {
    if (BetweenQuotes(match, '"', match.find('='), &id)) ids.push_back(id);
  }
  std::vector<std::string> result;
  for (const std::string& vid : ids) {
    rapidjson::Document json;
    std::string allot, clip, su;
    int prot = 0;
    if (ParseJson(run.Fetch(run.host + "/videinfo.jhtml?m=viewtv&vid=" + vid), &json) &&
        json.IsObject()) {
      auto a = json.FindMember("allot");
      if (a != json.MemberEnd() && a->value.IsString())
        allot.assign(a->value.GetString(), a->value.GetStringLength());
      auto p = json.FindMember("prot");
      if (p != json.MemberEnd() && p->value.IsInt()) prot = p->value.GetInt();
      auto d = json.FindMember("data");
      if (d != json.MemberEnd()) {
        clip = FirstString(d->value, "clipsURL");
        su = FirstString(d->value, "su");
      }
    }
    // Without a dispatch host there is nobody to ask.
    if (allot.empty()) continue;
    char query[64];
    std::snprintf(query, sizeof query, "/?prot=%d&file=", prot);
    const std::string reply = run.Fetch("http://" + allot + query + clip + "&new=" + su);
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t bar = reply.find('|');; bar = reply.find('|', from)) {
      parts.push_back(reply.substr(from, bar == npos ? npos : bar - from));
      if (bar == npos) break;
      from = bar + 1;
    }
    // A short or hostless reply gives no address: "su?key=" alone is not one.
    if (parts.size() < 4 || parts[0].empty()) continue;
    result.push_back(parts[0] + su + "?key=" + parts[3]);
  }
  return result;
}

std::vector<std::string> Ifeng(const Run& run, const std::string& page) {
  const size_t slash = page.rfind('/');
  const std::string last = slash == npos ? page : page.substr(slash + 1);
  const std::string guid = last.substr(0, last.find('.'));
  if (guid.size() < 2) return {};
  const std::string c1 = guid.substr(guid.size() - 2, 1);
  const std::string c2 = guid.substr(guid.size() - 2);
  MarkupDocument doc;
  doc.ParseText(run.Fetch(run.host + "/video_info_new/" + c1 + "/" + c2 + "/" + guid + ".xml"));
  doc.Rewind();
  std::vector<std::string> result;
  while (doc.FindChild("item")) result.push_back(doc.ChildAttribute("VideoPlayUrl"));
  return result;
}

}  // namespace

const char* SiteWord(Site site) { return kWords[static_cast<int>(site)]; }

bool SiteOf(std::string_view page, ResolveOrder order, Site* site) {
  const Site* list = order == ResolveOrder::Automatic ? kAutomatic : kManual;
  for (int i = 0; i < kSiteCount; ++i)
    if (page.find(SiteWord(list[i])) != std::string_view::npos) {
      *site = list[i];
      return true;
    }
  return false;
}

std::string SiteHostKey(Site site) { return std::string("video_host_") + SiteWord(site); }

void SetLimitsForTest(int fetchTotalMs, int resolveTotalMs) {
  g_fetchMs = fetchTotalMs > 0 ? fetchTotalMs : kFetchTotalMs;
  g_resolveMs = resolveTotalMs > 0 ? resolveTotalMs : kResolveTotalMs;
}

std::string FetchText(const std::string& url, int timeoutMs) {
  const std::string address = EncodeAddress(url);
  transport::UrlParts parts;
  if (!transport::ParseUrl(address, &parts) || (parts.scheme != "http" && parts.scheme != "https"))
    return "";
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  CURL* curl = curl_easy_init();
  if (!curl) return "";
  Body body;
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Kestrane");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  const long total = std::max(1, timeoutMs);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, std::min<long>(kFetchConnectMs, total));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, total);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  // An error page is not a reply.
  if ((rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && body.full)) || status < 200 || status > 299)
    return "";
  // The lines are read one after another without their ends.
  std::string text;
  text.reserve(body.text.size());
  for (size_t i = 0; i < body.text.size(); ++i) {
    const char c = body.text[i];
    if (c == '\n' || (c == '\r' && i + 1 < body.text.size() && body.text[i + 1] == '\n')) continue;
    text += c;
  }
  return codepage::SanitizeUtf8(text);
}

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 1 >= text.size()) {
      out += '\\';
      break;
    }
    const char n = text[++i];
    uint32_t unit = 0;
    switch (n) {
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u':
        if (!Hex4(text, i + 1, &unit)) {
          out += 'u';
          break;
        }
        i += 4;
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          uint32_t low = 0;
          if (i + 2 < text.size() && text[i + 1] == '\\' && text[i + 2] == 'u' &&
              Hex4(text, i + 3, &low) && low >= 0xDC00 && low <= 0xDFFF) {
            i += 6;
            AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
          } else {
            out += '?';
          }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
          out += '?';
        } else {
          AppendUtf8(unit, &out);
        }
        break;
      default:
        out += n;
        break;
    }
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view text) { return codepage::SanitizeUtf8(text); }

std::string NormalizeHost(const std::string& value) {
  std::string host = Trim(value);
  if (host == "null") return "";
  while (!host.empty() && host.back() == '/') host.pop_back();
  transport::UrlParts parts;
  if (host.empty() || !transport::ParseUrl(host, &parts) ||
      (parts.scheme != "http" && parts.scheme != "https"))
    return "";
  return host;
}

std::string ConfiguredHost(Site site) {
  return NormalizeHost(conf::Read(conf::kConfig, SiteHostKey(site)));
}

namespace youku {

const char* const kSourceAlphabet =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ/\\:._-1234567890";

std::string MixedAlphabet(int64_t seed64) {
  int32_t seed = Wrap32(seed64);
  if (seed < 0) return "";
  std::string source = kSourceAlphabet, mixed;
  while (!source.empty()) {
    // Computed in 64 bits and wrapped to 32, as the site's own 32-bit arithmetic does.
    seed = Wrap32(static_cast<int64_t>(seed) * 211 + 30031) % 65536;
    if (seed < 0) return "";
    const float at = static_cast<float>(seed) / 65536.0f * static_cast<float>(source.size());
    const size_t index = static_cast<size_t>(std::floor(at));
    if (index >= source.size()) return "";
    mixed += source[index];
    source.erase(index, 1);
  }
  return mixed;
}

bool FileId(const std::string& mixed, const std::string& encoded, std::string* fileId) {
  fileId->clear();
  size_t from = 0, used = 0;
  for (size_t star = encoded.find('*'); star != npos && used < kMaxSegments;
       star = encoded.find('*', from), ++used) {
    int64_t position = -1;
    if (!ReadDecimal(encoded.substr(from, star - from), &position) || position < 0 ||
        position >= static_cast<int64_t>(mixed.size()))
      return false;
    *fileId += mixed[static_cast<size_t>(position)];
    from = star + 1;
  }
  return true;
}

std::string SidValue(int64_t nowMs, int a, int b) {
  char text[64];
  std::snprintf(text, sizeof text, "%lld%d%d", static_cast<long long>(nowMs), a % 999 + 1000,
                b % 9000 + 1000);
  return text;
}

}  // namespace youku

VideoResolver::VideoResolver() : VideoResolver(ResolverSeams{}) {}

VideoResolver::VideoResolver(ResolverSeams seams) : m_seams(std::move(seams)) {
  if (!m_seams.fetch)
    m_seams.fetch = [](const std::string& url, int ms) { return FetchText(url, ms); };
  if (!m_seams.host) m_seams.host = ConfiguredHost;
  if (!m_seams.nowMs)
    m_seams.nowMs = [] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::system_clock::now().time_since_epoch())
          .count();
    };
  if (!m_seams.draw)
    m_seams.draw = [](uint32_t seed) {
      SmallRandom random(seed);
      const int a = random.Next();
      return std::make_pair(a, random.Next());
    };
}

std::vector<std::string> VideoResolver::Resolve(const std::string& page, ResolveOrder order) const {
  Site site;
  if (!SiteOf(page, order, &site)) return {};
  return ResolveSite(site, page);
}

std::vector<std::string> VideoResolver::ResolveSite(Site site, const std::string& page) const {
  switch (site) {
    case Site::Ku6:
      return Ku6(page);
    case Site::Letv:
      return Letv(page);
    case Site::Youku:
      return Youku(page);
    case Site::Tudou:
      return Tudou(page);
    case Site::Sina:
      return Sina(page);
    case Site::Sohu:
      return Sohu(page);
    case Site::Ifeng:
      return Ifeng(page);
  }
  return {};
}

#define KESTRANE_SITE_RESOLVER(Name, SiteValue)                                 \
  std::vector<std::string> VideoResolver::Name(const std::string& page) const { \
    const Run run(m_seams, SiteHost(m_seams, SiteValue));                       \
    if (run.host.empty()) return {};                                            \
    return video::Name(run, page);                                              \
  }
KESTRANE_SITE_RESOLVER(Ku6, Site::Ku6)
KESTRANE_SITE_RESOLVER(Letv, Site::Letv)
KESTRANE_SITE_RESOLVER(Sina, Site::Sina)
KESTRANE_SITE_RESOLVER(Sohu, Site::Sohu)
KESTRANE_SITE_RESOLVER(Ifeng, Site::Ifeng)
#undef KESTRANE_SITE_RESOLVER

std::vector<std::string> VideoResolver::Youku(const std::string& page) const {
  const Run run(m_seams, SiteHost(m_seams, Site::Youku));
  const std::string id = YoukuIdentifier(page);
  if (run.host.empty() || id.empty()) return {};
  return video::YoukuById(run, id, false);
}

std::vector<std::string> VideoResolver::YoukuById(const std::string& identifier) const {
  const Run run(m_seams, SiteHost(m_seams, Site::Youku));
  if (run.host.empty()) return {};
  return video::YoukuById(run, identifier, false);
}

std::vector<std::string> VideoResolver::Tudou(const std::string& page) const {
  return video::Tudou(m_seams, page);
}

}  // namespace video
