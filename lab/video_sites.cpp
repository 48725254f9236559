#include "video_sites.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>

#include "lab.h"

namespace lab {

std::string YoukuAlphabet(int seed) {
  std::string source = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ/\\:._-1234567890";
  std::string mixed;
  double s = seed;
  while (!source.empty()) {
    s = std::fmod(s * 211 + 30031, 65536);
    const size_t index =
        static_cast<size_t>(std::floor(s / 65536 * static_cast<double>(source.size())));
    mixed += source[index];
    source.erase(index, 1);
  }
  return mixed;
}

namespace {

const char* const kSites[] = {"ku6", "letv", "youku", "tudou", "sina", "sohu", "ifeng"};
const char* const kModes[] = {"ok", "badjson", "missing", "errorpage", "empty"};

constexpr int kSegments = 3;

uint32_t Fnv(const std::string& text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

// The last piece of a path without its extension: "/ku6/show/Abc.html" -> "Abc".
std::string LastName(const std::string& path) {
  std::string p = path;
  while (!p.empty() && p.back() == '/') p.pop_back();
  std::string last = p.substr(p.rfind('/') + 1);
  return last.substr(0, last.find('.'));
}

// Only characters that keep an identifier one piece of a path or a quoted value.
std::string Tame(const std::string& text) {
  std::string out;
  for (char c : text)
    out += (isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
  return out;
}

std::string Digits(const std::string& text) {
  std::string out;
  for (char c : text)
    if (isdigit(static_cast<unsigned char>(c))) out += c;
  return out.empty() ? "0" : out;
}

// JSON-style escaping the way ku6 sends it: "/" as "\/", non-ASCII as "\uXXXX".
std::string Ku6Escape(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '/' ? std::string("\\/") : std::string(1, c);
  return out;
}

Response Html(const std::string& body) {
  return Response::Text(200, body, "text/html; charset=utf-8");
}

std::string PageOf(const std::string& title, const std::string& script) {
  return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
         "</title>\n<script type=\"text/javascript\">\n" + script +
         "\n</script>\n</head>\n<body>\n<div id=\"player\">实验视频</div>\n</body>\n</html>\n";
}

const char* kErrorPage =
    "<!DOCTYPE html>\n<html><head><title>系统繁忙</title></head>\n<body><h1>出错了</h1>\n"
    "<p>服务暂时不可用，请稍后再试。</p></body></html>\n";

class VideoSites : public Role {
 public:
  bool Setup(HttpServer& server, const Flags& flags, std::string* error) override {
    m_server = &server;
    for (const auto& v : flags.All("video-reply"))
      if (!Control("reply", v, error)) return false;
    if (flags.Has("video-media-size") &&
        !Control("media-size", flags.Get("video-media-size"), error))
      return false;
    m_mediaDir = flags.Get("video-media-dir", DefaultMediaDir());

    server.Route("GET", "/media/*", [this](const Request& req) { return Media(req); });

    // ku6
    server.Route("GET", "/ku6/fetch.htm", [this](const Request& req) {
      return Reply("ku6", [&](const std::string& mode) { return Ku6Reply(req, mode); });
    });
    server.Route("GET", "/ku6/*", [](const Request& req) {
      return Html(PageOf("酷6", "var VideoInfo = { title: \"lab\", vid: '" +
                                    Tame(LastName(req.path)) + "', time: 120 };"));
    });

    // letv
    server.Route("GET", "/letv/v_xml/*", [this](const Request& req) {
      return Reply("letv", [&](const std::string& mode) { return LetvReply(req, mode); });
    });
    server.Route("GET", "/letv/*", [](const Request& req) {
      return Html(PageOf(
          "乐视", "var __INFO__ = { video: { vid:" + Digits(LastName(req.path)) + ", pid: 1 } };"));
    });

    // youku
    server.Route("GET", "/youku/player/getPlayList/VideoIDS/*", [this](const Request& req) {
      return Reply("youku", [&](const std::string& mode) { return YoukuPlayList(req, mode); });
    });
    server.Route("GET", "/youku/player/getFlvPath/*", [this](const Request& req) {
      return Reply("youku", [&](const std::string& mode) { return YoukuFlvPath(req, mode); });
    });
    server.Route("GET", "/youku/*", [](const Request& req) {
      return Html(PageOf("优酷", "var videoId = '" + Tame(LastName(req.path)) + "';"));
    });

    // tudou: album pages name a youku video code; others an item id.
    server.Route("GET", "/tudou/v", [this](const Request& req) {
      return Reply("tudou", [&](const std::string& mode) { return TudouReply(req, mode); });
    });
    server.Route("GET", "/tudou/albumplay/*", [](const Request& req) {
      return Html(PageOf("土豆", "var pageConfig = { lid: 1, vcode: '" + Tame(LastName(req.path)) +
                                     "', title: \"lab\" };"));
    });
    server.Route("GET", "/tudou/*", [](const Request& req) {
      const std::string iid = std::to_string(100000 + Fnv(LastName(req.path)) % 900000);
      return Html(PageOf("土豆", "var pageConfig = { iid: " + iid + ", title: \"lab\" };"));
    });

    // sina
    server.Route("GET", "/sina/v_play.php", [this](const Request& req) {
      return Reply("sina", [&](const std::string& mode) { return SinaReply(req, mode); });
    });
    server.Route("GET", "/sina/*", [](const Request& req) {
      return Html(PageOf("新浪", "var $SCOPE = { video: { vid:'" + Tame(LastName(req.path)) +
                                     "', title: \"lab\" } };"));
    });

    // sohu: the information service names the dispatch host, which is the lab again.
    server.Route("GET", "/sohu/videinfo.jhtml", [this](const Request& req) {
      return Reply("sohu", [&](const std::string& mode) { return SohuReply(req, mode); });
    });
    server.Route("GET", "/sohu/dispatch/*",
                 [this](const Request& req) { return SohuDispatch(req); });
    server.Route("GET", "/sohu/dispatch", [this](const Request& req) { return SohuDispatch(req); });
    server.Route("GET", "/sohu/*", [](const Request& req) {
      std::string name = LastName(req.path);
      return Html(PageOf("搜狐", "var vid=\"" + Digits(name) + "\";\nvar playlistId=\"1\";"));
    });

    // ifeng
    server.Route("GET", "/ifeng/video_info_new/*", [this](const Request& req) {
      return Reply("ifeng", [&](const std::string& mode) { return IfengReply(req, mode); });
    });
    server.Route("GET", "/ifeng/*", [](const Request& req) {
      return Html(PageOf("凤凰", "var videoinfo = { id: \"" + Tame(LastName(req.path)) + "\" };"));
    });
    return true;
  }

  bool Control(const std::string& name, const std::string& value, std::string* reply) override {
    std::lock_guard<std::mutex> lock(m_lock);
    if (name == "reply") {
      const size_t colon = value.find(':');
      const std::string site = value.substr(0, colon == std::string::npos ? 0 : colon);
      const std::string mode = colon == std::string::npos ? "" : value.substr(colon + 1);
      bool siteOk = site == "all", modeOk = false;
      for (const char* s : kSites) siteOk = siteOk || site == s;
      for (const char* m : kModes) modeOk = modeOk || mode == m;
      if (!siteOk || !modeOk) {
        *reply =
            "reply must be SITE:MODE, SITE one of ku6 letv youku tudou sina sohu ifeng all, "
            "MODE one of ok badjson missing errorpage empty";
        return false;
      }
      if (site == "all") {
        for (const char* s : kSites) m_modes[s] = mode;
      } else {
        m_modes[site] = mode;
      }
      return true;
    }
    if (name == "media-size") {
      char* end = nullptr;
      const long long n = strtoll(value.c_str(), &end, 10);
      if (value.empty() || *end || n < 0) {
        *reply = "media-size must be a byte count";
        return false;
      }
      m_mediaSize = n;
      m_generatedMedia = true;
      return true;
    }
    *reply = "unknown setting " + name;
    return false;
  }

  std::string StatsText() const override {
    std::lock_guard<std::mutex> lock(m_lock);
    std::string out;
    for (const char* s : kSites) {
      auto it = m_modes.find(s);
      out += std::string(s) + "_mode=" + (it == m_modes.end() ? "ok" : it->second) + "\n";
    }
    for (const auto& [k, n] : m_counts) out += k + "_requests=" + std::to_string(n) + "\n";
    return out;
  }

 private:
  void Count(const std::string& what) {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_counts[what];
  }

  // The service answer of a site in its reply mode; "ok", "badjson" and "missing" are the
  // site's own.
  template <typename Make>
  Response Reply(const std::string& site, Make make) {
    std::string mode;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      ++m_counts[site];
      auto it = m_modes.find(site);
      mode = it == m_modes.end() ? "ok" : it->second;
    }
    if (mode == "errorpage") return Html(kErrorPage);
    if (mode == "empty") return Response::Text(200, "", "text/plain");
    return make(mode);
  }

  // "http://127.0.0.1:PORT"
  std::string Base() const { return m_server->Url(); }

  Response Ku6Reply(const Request& req, const std::string& mode) {
    if (req.Param("t") != "getVideo4Player") return Response::Text(404, "Not Found");
    const std::string vid = Tame(req.Param("vid"));
    const std::string media = Ku6Escape(Base() + "/media/ku6/" + vid + "/");
    std::string body;
    if (vid.empty())
      body = "{\"status\":0,\"data\":{}}";
    else if (mode == "badjson")
      body = "{\"data\":{\"t\":\"\\u5b9e\\u9a8c\",\"f\":\"" + media + "1.f4v";
    else if (mode == "missing")
      body = "{\"data\":{\"t\":\"\\u5b9e\\u9a8c\",\"vtime\":\"120\"},\"status\":1}";
    else
      body = "{\"data\":{\"t\":\"\\u5b9e\\u9a8c\",\"f\":\"" + media +
             "1.f4v\",\"vtime\":\"120\"},\"list\":[{\"f\":\"" + media + "2.f4v\"},{\"f\":\"" +
             media + "3.f4v\"}],\"status\":1}";
    return Response::Text(200, body, "text/html");
  }

  Response LetvReply(const Request& req, const std::string& mode) {
    const std::string id = Tame(LastName(req.path));
    const std::string media = Base() + "/media/letv/" + id + "/";
    std::string json;
    if (mode == "badjson")
      json = "{\"title\":\"实验\",\"dispatch\":{\"350\":[\"" + media + "350.mp4";
    else if (mode == "missing")
      json = "{\"title\":\"实验\",\"dispatch\":{}}";
    else
      json = "{\"title\":\"实验\",\"dispatch\":{\"350\":[\"" + media +
             "350.mp4\",\"lab\"],\"1000\":[\"" + media + "1000.mp4\",\"lab\"]}}";
    return Response::Text(200,
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n<mmsid>" + id +
                              "</mmsid>\n<playurl><![CDATA[" + json + "]]></playurl>\n</root>\n",
                          "text/xml");
  }

  // A play list whose streamfileids decode to the identifier asked for (padded to ten
  // characters), so each segment's file id carries it.
  Response YoukuPlayList(const Request& req, const std::string& mode) {
    std::string id = LastName(req.path);
    std::string plain = Tame(id);
    while (plain.size() < 10) plain += '0';
    const int seed = static_cast<int>(Fnv(id) % 65536);
    const std::string mixed = YoukuAlphabet(seed);
    std::string encoded;
    for (char c : plain) encoded += std::to_string(mixed.find(c)) + "*";
    std::string segs;
    for (int j = 0; j < kSegments; ++j) {
      if (j) segs += ",";
      segs += "{\"no\":\"" + std::to_string(j) +
              "\",\"size\":\"1048576\",\"seconds\":\"60\",\"k\":\"" +
              Hex8(Fnv(id + std::to_string(j))) + "\",\"k2\":\"1c\"}";
    }
    std::string body;
    if (mode == "badjson")
      body = "{\"data\":[{\"videoid\":\"1\",\"title\":\"lab\",\"seed\":" + std::to_string(seed);
    else if (mode == "missing")
      body = "{\"data\":[{\"videoid\":\"1\",\"title\":\"lab\"}]}";
    else
      body = "{\"data\":[{\"videoid\":\"1\",\"title\":\"lab\",\"seed\":" + std::to_string(seed) +
             ",\"streamfileids\":{\"flv\":\"" + encoded + "\"},\"segs\":{\"flv\":[" + segs +
             "]}}]}";
    return Response::Text(200, body, "application/json");
  }

  // "/youku/player/getFlvPath/sid/<sid>_<s>/st/flv/fileid/<id>?K=<key>" sends to the media.
  Response YoukuFlvPath(const Request& req, const std::string& mode) {
    const std::string mark = "/fileid/";
    const size_t at = req.path.find(mark);
    if (at == std::string::npos || mode != "ok") return Response::Text(404, "Not Found");
    Response r = Response::Text(302, "", "text/html");
    r.headers.emplace_back("Location", Base() + "/media/youku/" +
                                           Tame(req.path.substr(at + mark.size())) +
                                           ".flv?K=" + Tame(req.Param("K")));
    return r;
  }

  Response TudouReply(const Request& req, const std::string& mode) {
    const std::string iid = Tame(req.Param("it"));
    if (req.Param("vn") != "02" || req.Param("st") != "1,2")
      return Response::Text(404, "Not Found");
    const std::string media = Base() + "/media/tudou/" + iid + "/";
    std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<v time=\"120000\" vi=\"1\" nu=\"1\"><b>";
    if (mode == "badjson")
      body += "<f w=\"10\" size=\"1048576\">" + media + "1.flv?key=a1";
    else if (mode == "missing")
      body += "</b></v>";
    else
      body += "<f w=\"10\" size=\"1048576\">" + media +
              "1.flv?key=a1&amp;id=tudou</f><f w=\"20\" size=\"2097152\">" + media +
              "2.flv?key=b2&amp;id=tudou</f></b></v>";
    return Response::Text(200, body, "text/xml");
  }

  Response SinaReply(const Request& req, const std::string& mode) {
    const std::string vid = Tame(req.Param("vid"));
    const std::string media = Base() + "/media/sina/" + vid + "/";
    std::string body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<video>\n<result>suee</result>\n";
    if (mode == "badjson") {
      body += "<durl><order>1</order><url><![CDATA[" + media + "1.flv";
    } else if (mode == "missing") {
      body += "<vname><![CDATA[实验视频]]></vname>\n</video>\n";
    } else {
      body += "<timelength>120000</timelength>\n<vname><![CDATA[实验视频]]></vname>\n";
      for (int i = 1; i <= 2; ++i)
        body += "<durl>\n<order>" + std::to_string(i) +
                "</order>\n<length>60000</length>\n<url><![CDATA[" + media + std::to_string(i) +
                ".flv]]></url>\n</durl>\n";
      body += "</video>\n";
    }
    return Response::Text(200, body, "text/xml");
  }

  Response SohuReply(const Request& req, const std::string& mode) {
    const std::string vid = Digits(req.Param("vid"));
    if (req.Param("m") != "viewtv") return Response::Text(404, "Not Found");
    std::string allot = Base().substr(Base().find("//") + 2) + "/sohu/dispatch";
    const std::string clip = Base() + "/media/sohu/" + vid + "/clip1.mp4";
    const std::string su = "/" + vid + "/clip1.mp4";
    std::string body;
    if (mode == "badjson")
      body = "{\"allot\":\"" + allot + "\",\"prot\":2,\"data\":{\"clipsURL\":[\"http://";
    else if (mode == "missing")
      body = "{\"status\":1,\"data\":{\"tvName\":\"实验\"}}";
    else
      body = "{\"allot\":\"" + allot +
             "\",\"prot\":2,\"status\":1,\"data\":{\"tvName\":\"实验\",\"clipsURL\":[\"" + clip +
             "\"],\"su\":[\"" + su + "\"]}}";
    return Response::Text(200, body, "application/json");
  }

  // "a|b|c|d": the media host, two fields the client ignores, the key.
  Response SohuDispatch(const Request& req) {
    Count("sohu_dispatch");
    if (req.Param("file").empty() || req.Param("new").empty())
      return Response::Text(404, "Not Found");
    return Response::Text(200, Base() + "/media/sohu|12|lab|" + Hex8(Fnv(req.Param("new"))),
                          "text/plain");
  }

  Response IfengReply(const Request& req, const std::string& mode) {
    // "/ifeng/video_info_new/<c1>/<c2>/<guid>.xml"
    const std::string rest = req.path.substr(std::string("/ifeng/video_info_new/").size());
    const std::string guid = LastName(rest);
    if (guid.size() < 2 || rest != guid.substr(guid.size() - 2, 1) + "/" +
                                       guid.substr(guid.size() - 2) + "/" + guid + ".xml")
      return Response::Text(404, "Not Found");
    const std::string media = Base() + "/media/ifeng/" + Tame(guid) + "/";
    std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PlayList>\n";
    if (mode == "badjson") {
      body += "<item Name=\"实验\" VideoPlayUrl=\"" + media + "1.mp4";
    } else if (mode == "missing") {
      body += "</PlayList>\n";
    } else {
      for (int i = 1; i <= 2; ++i)
        body += "<item Name=\"实验\" VideoPlayUrl=\"" + media + std::to_string(i) +
                ".mp4\" Duration=\"60\"/>\n";
      body += "</PlayList>\n";
    }
    return Response::Text(200, body, "text/xml");
  }

  // The build's clips sit beside the program folder, in <build>/lab-media.
  static std::string DefaultMediaDir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "lab-media";
    std::string exe(buf, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/')) + "/../lab-media";
  }

  // A clip by its own name, else by the address's extension: FLV for ".flv", the MP4 with its
  // index first for ".mp4" and ".f4v". Anything else (or clips not built) is generated bytes.
  Response Media(const Request& req) {
    Count("media");
    const std::string name = req.path.substr(req.path.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    for (auto& ch : ext) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    std::string clip;
    if (name == kClipMp4 || name == kClipMp4Tail || name == kClipFlv)
      clip = name;
    else if (ext == "flv")
      clip = kClipFlv;
    else if (ext == "mp4" || ext == "f4v")
      clip = kClipMp4;
    Response r;
    struct stat st {};
    const std::string file = m_mediaDir + "/" + clip;
    bool generated;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      generated = m_generatedMedia;
    }
    if (!generated && !clip.empty() && stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      r.headers.emplace_back("Content-Type", ext == "flv" ? "video/x-flv" : "video/mp4");
      r.filePath = file;
      return r;
    }
    r.headers.emplace_back("Content-Type", "video/x-flv");
    std::lock_guard<std::mutex> lock(m_lock);
    r.generatedLength = m_mediaSize;
    return r;
  }

  static constexpr const char* kClipMp4 = "clip.mp4";           // index first
  static constexpr const char* kClipMp4Tail = "clip_tail.mp4";  // index last
  static constexpr const char* kClipFlv = "clip.flv";

  HttpServer* m_server = nullptr;
  std::string m_mediaDir;
  mutable std::mutex m_lock;
  std::map<std::string, std::string> m_modes;  // site -> reply mode
  std::map<std::string, int64_t> m_counts;
  int64_t m_mediaSize = 4 << 20;
  bool m_generatedMedia = false;  // a media size was set: every /media/ file is generated
};

}  // namespace

void RegisterVideoSitesRole() {
  RoleSpec spec;
  spec.name = "video";
  spec.summary =
      "video sites. Under /<site>/ for ku6, letv, youku, tudou, sina, sohu and ifeng: a page "
      "(any path, e.g. /youku/v_show/id_XNTc2MjE0NjQ4.html, /tudou/programs/view/b5NnXj2Ua2g/, "
      "/tudou/albumplay/Lqfme5hSolM/XNTc2MjE0NjQ4.html, /ku6/show/Lx2aCvdgqXJdJrzQ.html, "
      "/letv/ptv/vplay/1937486.html, /sina/video/120519357.html, /sohu/20130520/n376446434.shtml, "
      "/ifeng/video/detail_2013_05/20/25492016_0.shtml) naming the video, and the site's "
      "services: /ku6/fetch.htm, /letv/v_xml/ID.xml, /youku/player/getPlayList/VideoIDS/ID and "
      "getFlvPath (302 to the media), /tudou/v, /sina/v_play.php, /sohu/videinfo.jhtml (allot = "
      "this role's /sohu/dispatch, answering a|b|c|d), /ifeng/video_info_new/C1/C2/GUID.xml. The "
      "media addresses carry the identifier asked for. GET /media/.../clip.mp4 (index first), "
      "clip_tail.mp4 (index last) and clip.flv serve the build's 8 s 640x360 H.264/AAC clip, "
      "any other .flv the FLV and any other .mp4 or .f4v the first MP4, with Content-Length; "
      "other names (or clips not built, or a media size set) get generated bytes.";
  spec.defaultPort = 18060;
  spec.flags = {
      {"video-reply", "SITE:MODE",
       "service replies of a site (or all): ok (default), badjson (cut off mid-value), missing "
       "(members absent), errorpage (200, an HTML error page), empty (200, no body).",
       true},
      {"video-media-size", "BYTES",
       "serve every /media/ file as this many generated bytes (default: the clips; else 4194304)."},
      {"video-media-dir", "DIR",
       "folder of the clips (default <program folder>/../lab-media, where the build puts them)."},
  };
  spec.controlHelp = {
      "reply=SITE:MODE, media-size=BYTES (as the flags)",
      "stats add <site>_mode and <site>_requests, sohu_dispatch_requests, media_requests"};
  spec.create = [] { return std::make_unique<VideoSites>(); };
  RegisterRole(std::move(spec));
}

}  // namespace lab
