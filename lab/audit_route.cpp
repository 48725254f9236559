#include "audit_route.h"

#include <cctype>
#include <vector>

#include "lab.h"
#include "management_server.h"

namespace lab {

namespace {
const char kJson[] = "application/json;charset=UTF-8";

bool IsNumber(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}
}  // namespace

bool AuditRoute::Control(const std::string& name, const std::string& value, std::string* reply) {
  if (name != "audit") {
    *reply = "unknown setting " + name;
    return false;
  }
  if (!value.empty() && !IsNumber(value) && value != "empty" && value != "badjson" &&
      value != "nomember") {
    *reply = "audit must be a usertype, empty, badjson, nomember or nothing";
    return false;
  }
  std::lock_guard lock(m_lock);
  m_mode = value;
  return true;
}

std::string AuditRoute::StatsText() const {
  std::lock_guard lock(m_lock);
  return "audit_mode=" + m_mode + "\naudit_requests=" + std::to_string(m_requests) +
         "\nlast_audit_dnsip=" + m_dnsip + "\nlast_audit_ip=" + m_ip +
         "\nlast_audit_userid=" + m_userid + "\n";
}

std::shared_ptr<AuditRoute> InstallAuditRoute(HttpServer& server, const Flags& flags) {
  std::vector<Account> accounts;
  std::string error;
  if (!flags.Has("management-accounts") ||
      !LoadAccounts(flags.Get("management-accounts"), &accounts, &error))
    accounts = DefaultAccounts();
  auto route = std::make_shared<AuditRoute>();
  route->m_mode = flags.Get("management-audit");
  server.Route("GET", "/speed/interface/audit.do", [route, accounts](const Request& req) {
    std::string mode;
    {
      std::lock_guard lock(route->m_lock);
      ++route->m_requests;
      route->m_dnsip = req.Param("dnsip");
      route->m_ip = req.Param("ip");
      route->m_userid = req.Param("userid");
      mode = route->m_mode;
    }
    if (mode == "empty") return Response::Text(200, "", kJson);
    if (mode == "badjson") return Response::Text(200, "{\"usertype\":\"8", kJson);
    if (mode == "nomember") return Response::Text(200, "{\"result\":\"ok\"}", kJson);
    std::string type = mode;
    if (type.empty()) {
      type = "7";
      for (const auto& a : accounts) {
        auto it = a.fields.find("userid");
        if (it != a.fields.end() && it->second == req.Param("userid")) type = a.auditType;
      }
    }
    return Response::Text(200, "{\"usertype\":\"" + type + "\"}", kJson);
  });
  return route;
}

}  // namespace lab
