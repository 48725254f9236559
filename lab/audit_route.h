#pragma once

// The audit request "/speed/interface/audit.do?dnsip=&ip=&userid=" of the vendor's public web
// host. It answers {"usertype":"N"} by the account's "audit" value, or as the control says, and
// remembers what it was asked. The time role (the public host) and the management role both
// serve it.

#include <memory>
#include <mutex>
#include <string>

#include "http_server.h"

namespace lab {

class Flags;

class AuditRoute {
 public:
  // "audit": TYPE (answer that usertype), empty (an empty body), badjson (a cut-off object),
  // nomember (an object without "usertype"), "" (by the account, 7 for an unknown one).
  bool Control(const std::string& name, const std::string& value, std::string* reply);
  bool Handles(const std::string& name) const { return name == "audit"; }
  // audit_mode, audit_requests, last_audit_dnsip, last_audit_ip, last_audit_userid.
  std::string StatsText() const;

 private:
  friend std::shared_ptr<AuditRoute> InstallAuditRoute(HttpServer& server, const Flags& flags);
  mutable std::mutex m_lock;
  std::string m_mode;
  int m_requests = 0;
  std::string m_dnsip, m_ip, m_userid;
};

std::shared_ptr<AuditRoute> InstallAuditRoute(HttpServer& server, const Flags& flags);

}  // namespace lab
