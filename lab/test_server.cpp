#include "test_server.h"

#include <cctype>
#include <map>
#include <mutex>

#include "lab.h"

namespace lab {

long long TestFileSize(const std::string& name) {
  size_t i = 0;
  while (i < name.size() && isdigit(static_cast<unsigned char>(name[i]))) ++i;
  if (i == 0 || i > 12) return -1;
  long long n = std::stoll(name.substr(0, i));
  size_t dot = name.find('.', i);
  std::string unit = name.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
  for (auto& c : unit) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (unit == "B") return n;
  if (unit == "KB") return n << 10;
  if (unit == "MB") return n << 20;
  if (unit == "GB") return n << 30;
  return -1;
}

namespace {

class TestServer : public Role {
 public:
  bool Setup(HttpServer& server, const Flags& flags, std::string* error) override {
    std::string reply;
    if (!Control("dovalid", flags.Get("test-dovalid", "ok"), &reply) ||
        !Control("queue", flags.Get("test-queue", "2"), &reply) ||
        (flags.Has("test-key") && !Control("key", flags.Get("test-key"), &reply))) {
      *error = reply;
      return false;
    }
    server.Route("GET", "/speed/dovalid", [this](const Request& req) { return SlotRequest(req); });
    server.Route("POST", "/speed/dovalid", [this](const Request& req) { return SlotRelease(req); });
    server.Route("POST", "/speed/doload.do", [this](const Request&) {
      std::lock_guard<std::mutex> lock(m_lock);
      ++m_uploads;
      return Response::Text(200, "OK");
    });
    server.Route("GET", "/speed/", [](const Request&) { return Response::Text(200, "speed", "text/html"); });
    server.Route("GET", "/speed/*", [](const Request& req) {
      std::string name = req.path.substr(7);
      long long size = name.find('/') == std::string::npos ? TestFileSize(name) : -1;
      if (size < 0) return Response::Text(404, "Not Found");
      Response r;
      r.headers.emplace_back("Content-Type", ContentTypeFor(name));
      r.generatedLength = size;
      return r;
    });
    return true;
  }

  bool Control(const std::string& name, const std::string& value, std::string* reply) override {
    std::lock_guard<std::mutex> lock(m_lock);
    if (name == "dovalid") {
      static const char* modes[] = {"ok", "busy", "queued", "fail500", "empty", "one"};
      for (const char* m : modes)
        if (value == m) {
          m_mode = value;
          m_seen.clear();
          return true;
        }
      *reply = "dovalid must be ok, busy, queued, fail500, empty or one";
      return false;
    }
    if (name == "queue") {
      char* end = nullptr;
      long n = strtol(value.c_str(), &end, 10);
      if (value.empty() || *end || n < 0) {
        *reply = "queue must be a count";
        return false;
      }
      m_queue = static_cast<int>(n);
      m_seen.clear();
      return true;
    }
    if (name == "key") {
      m_key = value;
      return true;
    }
    *reply = "unknown setting " + name;
    return false;
  }

  std::string StatsText() const override {
    std::lock_guard<std::mutex> lock(m_lock);
    std::string released;
    for (const auto& k : m_released) released += (released.empty() ? "" : " ") + k;
    return "dovalid_mode=" + m_mode + "\nslot_requests=" + std::to_string(m_slotRequests) +
           "\nreleases=" + std::to_string(m_released.size()) + "\nreleased=" + released +
           "\nuploads=" + std::to_string(m_uploads) + "\n";
  }

 private:
  Response SlotRequest(const Request& req) {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_slotRequests;
    std::string key = !m_key.empty() ? m_key : req.Param("key");
    if (key.empty()) key = "lab" + std::to_string(m_slotRequests);
    if (m_mode == "busy") return Response::Text(200, "0," + key);
    if (m_mode == "fail500") return Response::Text(500, "");
    if (m_mode == "empty") return Response::Text(200, "");
    if (m_mode == "one") return Response::Text(200, "1");
    if (m_mode == "queued" && m_seen[key]++ < m_queue) return Response::Text(200, "2," + key);
    return Response::Text(200, "1," + key);
  }

  Response SlotRelease(const Request& req) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_released.push_back(req.Param("key"));
    return Response::Text(200, "1");
  }

  mutable std::mutex m_lock;
  std::string m_mode = "ok";
  int m_queue = 2;
  std::string m_key;
  std::map<std::string, int> m_seen;
  std::vector<std::string> m_released;
  int m_slotRequests = 0;
  int m_uploads = 0;
};

}  // namespace

void RegisterTestServerRole() {
  RoleSpec spec;
  spec.name = "test";
  spec.summary =
      "test server. GET /speed/dovalid?key=K&flag=F answers the slot (\"1,K\" by default); "
      "POST /speed/dovalid with key=K releases it; GET /speed/<n><B|KB|MB|GB>.<ext> serves n "
      "bytes (a fixed pattern) with Content-Length, e.g. 1KB.txt ... 133MB.rar; POST "
      "/speed/doload.do takes multipart or plain bodies, counts and discards them.";
  spec.defaultPort = 8080;
  spec.flags = {
      {"test-dovalid", "MODE",
       "slot answers: ok (\"1,K\"), busy (\"0,K\"), queued (\"2,K\" for the first N requests "
       "of a key, then \"1,K\"), fail500 (status 500, empty body), empty (empty body), one "
       "(the single character \"1\"). Default ok."},
      {"test-queue", "N", "requests of a key answered \"2,K\" in queued mode (default 2)."},
      {"test-key", "KEY", "hand out this key instead of echoing the request's (an empty "
                          "request key gets \"lab<n>\")."},
  };
  spec.controlHelp = {"dovalid=MODE, queue=N, key=KEY (as the flags)",
                      "stats add dovalid_mode, slot_requests, releases, released (keys), uploads"};
  spec.create = [] { return std::make_unique<TestServer>(); };
  RegisterRole(std::move(spec));
}

}  // namespace lab
