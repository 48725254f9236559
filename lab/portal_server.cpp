#include "portal_server.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "lab.h"

namespace lab {
namespace {

using Clock = std::chrono::steady_clock;

// A 1x1 transparent GIF: the parts of the generated pages.
const char kGif[] =
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
    "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b";
constexpr size_t kGifSize = sizeof kGif - 1;

// A held part is given up after this long, so a client that never lets go costs one thread
// for a bounded time only.
constexpr int kHoldLimitMs = 60000;
constexpr size_t kMaxLog = 4000;

// The leading decimal digits of a parameter (the test client appends its own "?Y..." to the
// last value), clamped; `fallback` when there are none.
long Number(const Request& req, const char* name, long fallback, long max) {
  const std::string text = req.Param(name);
  if (text.empty() || text[0] < '0' || text[0] > '9') return fallback;
  long value = std::strtol(text.c_str(), nullptr, 10);
  return value > max ? max : value;
}

// The path segment naming the site: "/portal/<site>/<file>".
bool SplitSite(const std::string& path, std::string* site, std::string* file) {
  const std::string rest = path.substr(8);  // after "/portal/"
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash == 0) return false;
  *site = rest.substr(0, slash);
  *file = rest.substr(slash + 1);
  for (char c : *site)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')) return false;
  return !file->empty() && file->find('/') == std::string::npos;
}

std::string Html(const std::string& title, const std::string& head, const std::string& body) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title>" +
         head + "</head>\n<body>\n" + body + "</body></html>\n";
}

// The connection of a request as the kernel sees it from the server side: "08" CLOSE_WAIT once
// the client has closed; absent when it is gone entirely.
bool ClientStillConnected(const std::string& peer, int serverPort) {
  const size_t colon = peer.rfind(':');
  if (colon == std::string::npos) return false;
  const int peerPort = atoi(peer.c_str() + colon + 1);
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  std::getline(tcp, line);
  char want[32];
  std::snprintf(want, sizeof want, ":%04X", serverPort);
  char remote[32];
  std::snprintf(remote, sizeof remote, ":%04X", peerPort);
  while (std::getline(tcp, line)) {
    std::istringstream fields(line);
    std::string slot, local, rem, state;
    fields >> slot >> local >> rem >> state;
    if (local.size() < 5 || rem.size() < 5) continue;
    if (local.compare(local.size() - 5, 5, want) != 0) continue;
    if (rem.compare(rem.size() - 5, 5, remote) != 0) continue;
    return state == "01";  // ESTABLISHED
  }
  return false;
}

class PortalServer : public Role {
 public:
  bool Setup(HttpServer& server, const Flags& flags, std::string* error) override {
    (void)flags;
    (void)error;
    m_start = Clock::now();
    m_server = &server;
    server.Route("GET", "/portal/redirect", [this](const Request& req) { return Redirect(req); });
    server.Route("GET", "/portal/*", [this](const Request& req) { return Site(req); });
    return true;
  }

  // Per request: target, arrival and last-byte time (ms since the role started; -1 never),
  // and for a held part the time its client closed the connection.
  std::string StatsText() const override {
    std::lock_guard<std::mutex> lock(m_lock);
    std::string out = "portal_log=" + std::to_string(m_log.size()) + "\n";
    for (const auto& e : m_log) {
      out += "portal_" + std::to_string(e->index) + "=" + std::to_string(e->arrival) + " " +
             std::to_string(e->lastByte) + " " + std::to_string(e->closed) + " " + e->target + "\n";
    }
    return out;
  }

  bool Control(const std::string& name, const std::string& value, std::string* reply) override {
    if (name == "clearlog" && value == "1") {
      std::lock_guard<std::mutex> lock(m_lock);
      m_log.clear();
      return true;
    }
    *reply = "unknown setting " + name;
    return false;
  }

 private:
  struct Entry {
    int index = 0;
    std::string target;
    long long arrival = -1, lastByte = -1, closed = -1;
  };

  long long Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count();
  }

  std::shared_ptr<Entry> Log(const Request& req) {
    auto e = std::make_shared<Entry>();
    e->target = req.target;
    e->arrival = Now();
    std::lock_guard<std::mutex> lock(m_lock);
    e->index = ++m_count;
    m_log.push_back(e);
    if (m_log.size() > kMaxLog) m_log.pop_front();
    return e;
  }

  // The answer is built; with small bodies sent at once its last byte leaves now.
  Response Answered(const std::shared_ptr<Entry>& e, Response r) {
    std::lock_guard<std::mutex> lock(m_lock);
    e->lastByte = Now();
    return r;
  }

  // Waits until `due` (ms since start) or the stop of the lab.
  void WaitUntil(long long due) const {
    while (Now() < due) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  Response Redirect(const Request& req) {
    auto e = Log(req);
    const long delay = Number(req, "delay", 0, 600000);
    WaitUntil(e->arrival + delay);
    std::string to = req.Param("to", "/portal/www/index.html");
    // The client's "?Y..." lands on the last parameter; a location never carries it on.
    const size_t q = to.find("?Y");
    if (q != std::string::npos) to.erase(q);
    Response r = Response::Text(302, "moved", "text/html");
    r.headers.emplace_back("Location", to);
    return Answered(e, r);
  }

  Response Site(const Request& req) {
    auto e = Log(req);
    std::string site, file;
    if (!SplitSite(req.path, &site, &file)) return Answered(e, Response::Text(404, "Not Found"));
    if (file == "index.html") return Answered(e, Index(req, site, e->arrival));
    if (file == "part.gif") return Part(req, site, e);
    if (file == "held.gif") return Held(req, e);
    if (file == "never.html") {
      return Answered(e, Page(site, "never", "<p>never</p><img src=\"held.gif?for=never\">\n"));
    }
    if (file == "popup.html") {
      return Answered(e,
                      Page(site, "popup",
                           "<a id=\"l\" target=\"_blank\" href=\"target.html?via=link\">link</a>\n"
                           "<script>window.addEventListener('load', function() {\n"
                           "  window.open('target.html?via=open');\n"
                           "  document.getElementById('l').click();\n});</script>\n"));
    }
    if (file == "target.html") return Answered(e, Page(site, "target", "<p>target</p>\n"));
    if (file == "scripterror.html") {
      return Answered(e, Page(site, "scripterror",
                              "<p>errors</p><script>alert('alert');\n"
                              "var answer = confirm('confirm');\n"
                              "var typed = prompt('prompt', 'x');\n"
                              "document.title = 'answers ' + answer + ' ' + typed;\n"
                              "undefinedFunction();</script>\n"
                              "<img src=\"part.gif?i=1\">\n"));
    }
    if (file == "frames.html") {
      // A part held past the frame's arrival keeps the page loading while the frame comes.
      const long frame = Number(req, "frame", 500, 60000);
      const std::string hold = std::to_string(frame + 500);
      return Answered(e, Page(site, "frames",
                              "<img src=\"part.gif?i=1&amp;load=" + hold +
                                  "\">\n<script>setTimeout(function() {\n"
                                  "  var f = document.createElement('iframe');\n"
                                  "  f.src = 'inner.html';\n  document.body.appendChild(f);\n}, " +
                                  std::to_string(frame) + ");</script>\n"));
    }
    if (file == "inner.html") return Answered(e, Page(site, "inner", "<p>inner</p>\n"));
    return Answered(e, Response::Text(404, "Not Found"));
  }

  Response Page(const std::string& site, const std::string& title, const std::string& body) {
    Response r =
        Response::Text(200, Html(site + " " + title, "", body), "text/html; charset=utf-8");
    r.headers.emplace_back("Cache-Control", "max-age=3600");
    return r;
  }

  // index.html?weight=KB&parts=N&load=MS: a document of about KB kilobytes with N image parts,
  // the last one answered MS after the document was asked for.
  Response Index(const Request& req, const std::string& site, long long arrival) {
    const long weight = Number(req, "weight", 20, 10240);
    const long parts = Number(req, "parts", 4, 200);
    const long load = Number(req, "load", 0, 600000);
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_indexArrival[site] = arrival;
    }
    std::string body = "<h1>" + site + "</h1>\n";
    for (long i = 1; i <= parts; ++i) {
      body += "<img src=\"part.gif?i=" + std::to_string(i);
      if (i == parts && load > 0) body += "&amp;load=" + std::to_string(load);
      body += "\">\n";
    }
    std::string filler = "<div style=\"display:none\">";
    const size_t target = static_cast<size_t>(weight) * 1024;
    while (body.size() + filler.size() < target) filler += "portal filler text. ";
    body += filler + "</div>\n";
    return Page(site, "index", body);
  }

  // A part; with load=MS it is answered MS after its site's latest document request.
  Response Part(const Request& req, const std::string& site, const std::shared_ptr<Entry>& e) {
    const long load = Number(req, "load", 0, 600000);
    if (load > 0) {
      long long base = e->arrival;
      {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = m_indexArrival.find(site);
        if (it != m_indexArrival.end() && it->second <= e->arrival) base = it->second;
      }
      WaitUntil(base + load);
    }
    Response r = Response::Text(200, std::string(kGif, kGifSize), "image/gif");
    r.headers.emplace_back("Cache-Control", "max-age=3600");
    return Answered(e, r);
  }

  // Never answered: held until the client closes the connection (noted in the log).
  Response Held(const Request& req, const std::shared_ptr<Entry>& e) {
    const long long until = e->arrival + kHoldLimitMs;
    while (Now() < until && ClientStillConnected(req.peer, m_server->Port()))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
      std::lock_guard<std::mutex> lock(m_lock);
      e->closed = Now();
    }
    Response r = Response::Text(504, "held");
    r.close = true;
    return r;
  }

  HttpServer* m_server = nullptr;
  Clock::time_point m_start;
  mutable std::mutex m_lock;
  std::deque<std::shared_ptr<Entry>> m_log;
  std::map<std::string, long long> m_indexArrival;
  int m_count = 0;
};

}  // namespace

void RegisterPortalServerRole() {
  RoleSpec spec;
  spec.name = "portal";
  spec.summary =
      "portal sites of the web page test. GET /portal/<site>/index.html?weight=KB&parts=N&"
      "load=MS: a page of about KB kilobytes (20) with N image parts (4), the last answered MS "
      "after the page was asked for (0). never.html holds a part unanswered until the client "
      "closes; popup.html opens target.html by window.open and a clicked target=_blank link; "
      "scripterror.html raises alert, confirm, prompt and an uncaught error; "
      "frames.html?frame=MS adds an iframe (inner.html) at MS while a part is held until "
      "MS+500; /portal/redirect?to=P&delay=MS answers 302 to P after MS. The stats list every "
      "request as portal_N=ARRIVAL_MS LAST_BYTE_MS CLOSED_MS TARGET (ms since the role "
      "started, -1 for never). Faults as for every role.";
  spec.defaultPort = 18050;
  spec.controlHelp = {"clearlog=1  empty the request log with times"};
  spec.create = [] { return std::make_unique<PortalServer>(); };
  RegisterRole(std::move(spec));
}

}  // namespace lab
