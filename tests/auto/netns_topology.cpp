#include "netns_topology.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/process.h"

namespace {
std::atomic<int> g_counter{0};
constexpr int kIpTimeoutMs = 15000;
}  // namespace

NetnsTopology::NetnsTopology() {
  // Short: interface names may hold 15 characters.
  m_prefix = "kp" + std::to_string(getpid() % 100000) + static_cast<char>('a' + g_counter++ % 26);
}

NetnsTopology::~NetnsTopology() {
  for (auto it = m_namespaces.rbegin(); it != m_namespaces.rend(); ++it)
    platform::RunProcess("ip", {"netns", "del", *it}, kIpTimeoutMs);
}

bool NetnsTopology::RunIp(const std::vector<std::string>& args) {
  if (platform::RunProcess("ip", args, kIpTimeoutMs) == 0) return true;
  m_failed = true;
  std::string line = "ip";
  for (const auto& a : args) line += " " + a;
  m_error = "failed: " + line;
  return false;
}

bool NetnsTopology::Available() {
  if (geteuid() != 0) {
    m_error = "network namespaces need root (CAP_NET_ADMIN)";
    return false;
  }
  std::string probe = AddNamespace("probe");
  if (m_failed) {
    m_error = "the kernel refused a network namespace (" + m_error + ")";
    return false;
  }
  int fd = open(("/run/netns/" + probe).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    m_error = "network namespace file not found";
    return false;
  }
  close(fd);
  return true;
}

std::string NetnsTopology::Name(const std::string& role) const { return m_prefix + "_" + role; }

std::string NetnsTopology::AddNamespace(const std::string& role) {
  std::string name = Name(role);
  if (!RunIp({"netns", "add", name})) return name;
  m_namespaces.push_back(name);
  RunIp({"-n", name, "link", "set", "lo", "up"});
  return name;
}

std::pair<std::string, std::string> NetnsTopology::Link(const std::string& roleA, const std::string& addressA,
                                                        const std::string& roleB, const std::string& addressB,
                                                        const std::string& macA) {
  std::string a = m_prefix + "v" + std::to_string(m_links) + "a";
  std::string b = m_prefix + "v" + std::to_string(m_links) + "b";
  ++m_links;
  std::vector<std::string> add = {"link", "add", a};
  if (!macA.empty()) add.insert(add.end(), {"address", macA});
  add.insert(add.end(), {"netns", Name(roleA), "type", "veth", "peer", "name", b, "netns", Name(roleB)});
  RunIp(add);
  if (!addressA.empty()) RunIp({"-n", Name(roleA), "addr", "add", addressA, "dev", a});
  if (!addressB.empty()) RunIp({"-n", Name(roleB), "addr", "add", addressB, "dev", b});
  RunIp({"-n", Name(roleA), "link", "set", a, "up"});
  RunIp({"-n", Name(roleB), "link", "set", b, "up"});
  return {a, b};
}

void NetnsTopology::Route(const std::string& role, const std::vector<std::string>& routeArgs) {
  std::vector<std::string> args = {"-n", Name(role), "route", "add"};
  args.insert(args.end(), routeArgs.begin(), routeArgs.end());
  RunIp(args);
}

bool NetnsTopology::Ip(const std::string& role, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"-n", Name(role)};
  all.insert(all.end(), args.begin(), args.end());
  return RunIp(all);
}

void NetnsTopology::Sysctl(const std::string& role, const std::string& setting) {
  if (platform::RunProcess("ip", {"netns", "exec", Name(role), "sysctl", "-q", "-w", setting}, kIpTimeoutMs) != 0) {
    m_failed = true;
    m_error = "failed: sysctl " + setting;
  }
}

void NetnsTopology::Forwarding(const std::string& role) { Sysctl(role, "net.ipv4.ip_forward=1"); }

bool NetnsTopology::RunIn(const std::string& role, const std::function<void()>& body) {
  bool entered = false;
  std::thread worker([&] {
    int fd = open(("/run/netns/" + Name(role)).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    entered = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    if (entered) body();
  });
  worker.join();
  return entered;
}
