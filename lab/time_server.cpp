#include "time_server.h"

#include <ctime>
#include <memory>
#include <mutex>

#include "audit_route.h"
#include "lab.h"

namespace lab {

namespace {

std::string HttpDate(time_t t) {
  char buf[64];
  tm g{};
  gmtime_r(&t, &g);
  strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &g);
  return buf;
}

class TimeServer : public Role {
 public:
  bool Setup(HttpServer& server, const Flags& flags, std::string* error) override {
    if (!Control("status", flags.Get("time-status", "200"), error)) return false;
    if (flags.Has("time-date") && !Control("date", flags.Get("time-date"), error)) return false;
    server.Route("GET", "/speed/", [this](const Request&) {
      std::lock_guard<std::mutex> lock(m_lock);
      Response r = Response::Text(m_status, m_status == 200 ? "speed" : "", "text/html");
      r.headers.insert(r.headers.begin(),
                       {"Date", m_date.empty() ? HttpDate(time(nullptr)) : m_date});
      if (m_status == 302) r.headers.emplace_back("Location", "/speed/index.html");
      return r;
    });
    m_audit = InstallAuditRoute(server, flags);
    return true;
  }

  std::string StatsText() const override { return m_audit ? m_audit->StatsText() : ""; }

  bool Control(const std::string& name, const std::string& value, std::string* reply) override {
    std::lock_guard<std::mutex> lock(m_lock);
    if (name == "status") {
      int s = atoi(value.c_str());
      if (s < 100 || s > 999) {
        *reply = "status must be an HTTP status";
        return false;
      }
      m_status = s;
      return true;
    }
    if (name == "date") {
      m_date = value;
      return true;
    }
    if (m_audit && m_audit->Handles(name)) return m_audit->Control(name, value, reply);
    *reply = "unknown setting " + name;
    return false;
  }

 private:
  std::mutex m_lock;
  int m_status = 200;
  std::string m_date;  // empty: the current time
  std::shared_ptr<AuditRoute> m_audit;
};

}  // namespace

void RegisterTimeServerRole() {
  RoleSpec spec;
  spec.name = "time";
  spec.summary =
      "time host. HEAD or GET /speed/ answers with a Date header (the current time); GET "
      "/speed/interface/audit.do?dnsip=&ip=&userid= answers {\"usertype\":...}.";
  spec.flags = {
      {"time-status", "CODE", "status of the answer, e.g. 200 (default) or 302."},
      {"time-date", "HTTP-DATE",
       "send this Date value instead of the current time, e.g. "
       "\"Tue, 15 Nov 1994 08:12:31 GMT\"."},
  };
  spec.controlHelp = {
      "status=CODE, date=HTTP-DATE (empty: the current time), "
      "audit=TYPE|empty|badjson|nomember|\"\" "
      "(audit answer; \"\" by account)",
      "stats add audit_mode, audit_requests, last_audit_dnsip, last_audit_ip, last_audit_userid"};
  spec.create = [] { return std::make_unique<TimeServer>(); };
  RegisterRole(std::move(spec));
}

}  // namespace lab
