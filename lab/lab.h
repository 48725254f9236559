#pragma once

// The lab's role framework. A role is one server of the operator's side (test server, time
// host, update server, ...) on its own address and port. A role registers itself with a
// RoleSpec; the lab's main starts the roles named on its command line and serves a control
// endpoint over all of them.
//
// To add a role: write lab/<role>.{h,cpp} defining `void lab::Register<Name>Role()` that calls
// RegisterRole, and add one line LAB_ROLE(<Name>) to lab/roles.def.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "http_server.h"

namespace lab {

class Flags {
 public:
  void Add(const std::string& name, const std::string& value) { m_values[name].push_back(value); }
  bool Has(const std::string& name) const { return m_values.count(name) != 0; }
  // The last value given, or `fallback`.
  std::string Get(const std::string& name, const std::string& fallback = "") const;
  std::vector<std::string> All(const std::string& name) const;
  // A decimal value; `fallback` when absent, `*ok` false when malformed.
  int64_t GetInt(const std::string& name, int64_t fallback, bool* ok = nullptr) const;

 private:
  std::map<std::string, std::vector<std::string>> m_values;
};

struct FlagSpec {
  std::string name;   // full name without dashes, e.g. "test-dovalid"
  std::string value;  // value hint for the help, e.g. "MODE"; empty for a switch
  std::string help;
  bool repeatable = false;
};

class Role {
 public:
  virtual ~Role() = default;
  // Installs the role's routes. A false return (with a message) stops the lab from starting.
  virtual bool Setup(HttpServer& server, const Flags& flags, std::string* error) = 0;
  // A role-specific setting changed through the control endpoint (/lab/<role>/set?name=value).
  // Returns false for a name or value it does not accept, with a message in `reply`.
  virtual bool Control(const std::string& name, const std::string& value, std::string* reply) {
    (void)name;
    (void)value;
    *reply = "no settings";
    return false;
  }
  // Extra "key=value" lines for /lab/<role>/stats.
  virtual std::string StatsText() const { return ""; }
};

struct RoleSpec {
  std::string name;  // gives the flags --<name>, --<name>-addr, --<name>-port, --<name>-fault
  std::string summary;
  int defaultPort = 0;  // 0: a free port
  std::vector<FlagSpec> flags;
  std::vector<std::string> controlHelp;  // lines describing its /set names
  std::function<std::unique_ptr<Role>()> create;
};

void RegisterRole(RoleSpec spec);
const std::vector<RoleSpec>& Roles();

// Parses "PATH:SPEC" as given to --<role>-fault and the control endpoint.
bool ParseFaultFlag(const std::string& text, std::string* path, Fault* fault, std::string* error);

// Content type by file name extension.
std::string ContentTypeFor(const std::string& name);

}  // namespace lab
