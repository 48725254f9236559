#pragma once

#include <functional>
#include <string>
#include <vector>

// Network namespaces made for one test and removed with it (also when the test fails). Names
// carry the process id and a counter, so tests never meet each other's namespaces.
class NetnsTopology {
 public:
  NetnsTopology();
  ~NetnsTopology();
  NetnsTopology(const NetnsTopology&) = delete;
  NetnsTopology& operator=(const NetnsTopology&) = delete;

  // False (with the reason in Error()) when the kernel refuses namespaces: not root, no
  // CAP_NET_ADMIN, no iproute2.
  bool Available();

  // A namespace with its loopback up; returns its full name.
  std::string AddNamespace(const std::string& role);

  // A veth pair between two namespaces (by role), each end with an address ("198.18.1.2/24",
  // or empty for none) and up. Returns the two interface names.
  std::pair<std::string, std::string> Link(const std::string& roleA, const std::string& addressA,
                                           const std::string& roleB, const std::string& addressB,
                                           const std::string& macA = {});

  void Route(const std::string& role, const std::vector<std::string>& routeArgs);
  void Forwarding(const std::string& role);
  void Sysctl(const std::string& role, const std::string& setting);
  // Runs `ip` inside the namespace of `role`.
  bool Ip(const std::string& role, const std::vector<std::string>& args);

  // Runs `body` on a thread that has entered the namespace of `role`; returns false when the
  // thread could not enter it.
  bool RunIn(const std::string& role, const std::function<void()>& body);

  std::string Name(const std::string& role) const;
  const std::string& Error() const { return m_error; }
  bool Failed() const { return m_failed; }

 private:
  bool RunIp(const std::vector<std::string>& args);

  std::string m_prefix;
  std::vector<std::string> m_namespaces;
  int m_links = 0;
  bool m_failed = false;
  std::string m_error;
};
