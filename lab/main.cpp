// kestrane-lab: the operator's servers on loopback, for tests and the demo. One process, one
// port per role; see README.md.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "lab.h"

namespace lab {
#define LAB_ROLE(n) void Register##n##Role();
#include "roles.def"
#undef LAB_ROLE
}  // namespace lab

namespace lab {

namespace {
std::vector<RoleSpec>& Registry() {
  static std::vector<RoleSpec> roles;
  return roles;
}
}  // namespace

void RegisterRole(RoleSpec spec) { Registry().push_back(std::move(spec)); }
const std::vector<RoleSpec>& Roles() { return Registry(); }

std::string Flags::Get(const std::string& name, const std::string& fallback) const {
  auto it = m_values.find(name);
  return it == m_values.end() || it->second.empty() ? fallback : it->second.back();
}

std::vector<std::string> Flags::All(const std::string& name) const {
  auto it = m_values.find(name);
  return it == m_values.end() ? std::vector<std::string>{} : it->second;
}

int64_t Flags::GetInt(const std::string& name, int64_t fallback, bool* ok) const {
  if (ok) *ok = true;
  if (!Has(name)) return fallback;
  std::string v = Get(name);
  char* end = nullptr;
  long long n = strtoll(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0') {
    if (ok) *ok = false;
    return fallback;
  }
  return n;
}

bool ParseFaultFlag(const std::string& text, std::string* path, Fault* fault, std::string* error) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    *error = "fault must be PATH:SPEC, got \"" + text + "\"";
    return false;
  }
  *path = text.substr(0, colon);
  *fault = Fault{};
  return Fault::Parse(text.substr(colon + 1), fault, error);
}

std::string ContentTypeFor(const std::string& name) {
  size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (auto& ch : ext) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  if (ext == "txt" || ext == "properties" || ext == "ini") return "text/plain";
  if (ext == "xml") return "text/xml";
  if (ext == "json") return "application/json";
  if (ext == "html" || ext == "htm") return "text/html";
  if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
  if (ext == "png") return "image/png";
  if (ext == "zip") return "application/zip";
  return "application/octet-stream";
}

}  // namespace lab

namespace {

struct Running {
  const lab::RoleSpec* spec;
  std::unique_ptr<lab::Role> role;
  std::unique_ptr<lab::HttpServer> server;
};

// Wraps `text` at `width` columns, every line after the first indented by `indent`.
std::string Wrap(const std::string& text, size_t width, size_t indent) {
  std::string out, line;
  std::istringstream words(text);
  std::string w;
  while (words >> w) {
    if (!line.empty() && line.size() + 1 + w.size() > width) {
      out += line + "\n" + std::string(indent, ' ');
      line.clear();
    }
    line += (line.empty() ? "" : " ") + w;
  }
  return out + line;
}

void PrintHelp() {
  std::ostringstream o;
  o << "Usage: kestrane-lab [FLAGS]\n"
       "Plays the operator's servers on loopback. A role starts when --ROLE or any of its\n"
       "flags is given. Flags take their value as --name=value or --name value.\n\n"
       "General:\n"
       "  --control-addr=ADDR    address of the control endpoint (default 127.0.0.1)\n"
       "  --control-port=PORT    port of the control endpoint (default 0: a free port)\n"
       "  --any-port             every role without --ROLE-port takes a free port (tests)\n"
       "  --help                 this text\n\n"
       "Every role ROLE has:\n"
       "  --ROLE                 start the role with its defaults\n"
       "  --ROLE-addr=ADDR       listening address (default 127.0.0.1)\n"
       "  --ROLE-port=PORT       listening port (0: a free port)\n"
       "  --ROLE-fault=PATH:SPEC misbehave on PATH (exact, DIR/* or *); SPEC is a comma list of\n"
       "                         404, status=N, nolength, html, stall=N (N body bytes, then\n"
       "                         silence), stallhead (no answer), stallbody=N (read N request\n"
       "                         body bytes, then nothing more), close=N (N body bytes, then\n"
       "                         close), rate=BYTES_PER_S (answers and request\n"
       "                         bodies), delay=MS, from=N (the fault starts at the N-th\n"
       "                         request of the path). Repeatable.\n";
  for (const auto& spec : lab::Roles()) {
    o << "\n" << Wrap("Role " + spec.name + ": " + spec.summary, 90, 2) << "\n";
    o << "  default port " << spec.defaultPort << (spec.defaultPort == 0 ? " (a free port)" : "")
      << "\n";
    for (const auto& f : spec.flags) {
      std::string left = "--" + f.name + (f.value.empty() ? "" : "=" + f.value);
      o << "  " << left;
      o << std::string(left.size() < 23 ? 23 - left.size() : 1, ' ')
        << Wrap(f.help + (f.repeatable ? " Repeatable." : ""), 65, 25) << "\n";
    }
    for (const auto& line : spec.controlHelp) o << "  control: " << line << "\n";
  }
  o << "\nOn start the lab prints one line \"role NAME URL\" per role, \"control URL\", then\n"
       "\"ready\". Control endpoint (GET):\n"
       "  /lab/ping                      \"ok\"\n"
       "  /lab/roles                     \"NAME URL\" per line\n"
       "  /lab/ROLE/stats                key=value lines: connections, requests,\n"
       "                                 bytes_received, body_bytes, payload_bytes, bytes_sent,\n"
       "                                 body_sent, active, and the role's own\n"
       "  /lab/ROLE/requests[?from=N]    the logged requests with index >= N: per request a line\n"
       "                                 \"request index= connection= status= declared= body=\n"
       "                                 payload= sent= complete= head=LEN\", then LEN raw bytes\n"
       "                                 of request line and headers, then a newline\n"
       "  /lab/ROLE/reset                clear the counters and the request log\n"
       "  /lab/ROLE/fault?path=P&set=S   set the faults of path P (S as in --ROLE-fault)\n"
       "  /lab/ROLE/fault?clear=1        remove every fault of the role\n"
       "  /lab/ROLE/faults               \"PATH SPEC\" per line\n"
       "  /lab/ROLE/set?NAME=VALUE       a role setting (see the roles above)\n";
  std::cout << o.str();
}

std::string RequestsText(const lab::HttpServer& server, int from) {
  std::string out;
  for (const auto& r : server.Requests()) {
    if (r.index < from) continue;
    out += "request index=" + std::to_string(r.index) + " connection=" +
           std::to_string(r.connection) + " status=" + std::to_string(r.status) +
           " declared=" + std::to_string(r.declaredLength) + " body=" +
           std::to_string(r.bodyReceived) + " payload=" + std::to_string(r.payload) +
           " sent=" + std::to_string(r.bodySent) + " complete=" + (r.complete ? "1" : "0") +
           " head=" + std::to_string(r.head.size()) + "\n" + r.head + "\n";
  }
  return out;
}

void InstallControl(lab::HttpServer& control, std::vector<Running>& running) {
  using lab::Request;
  using lab::Response;
  control.Route("GET", "/lab/ping", [](const Request&) { return Response::Text(200, "ok"); });
  control.Route("GET", "/lab/roles", [&running](const Request&) {
    std::string out;
    for (const auto& r : running) out += r.spec->name + " " + r.server->Url() + "\n";
    return Response::Text(200, out);
  });
  control.Route("GET", "/lab/*", [&running](const Request& req) {
    // /lab/<role>/<what>
    std::string rest = req.path.substr(5);
    size_t slash = rest.find('/');
    std::string name = rest.substr(0, slash);
    std::string what = slash == std::string::npos ? "" : rest.substr(slash + 1);
    Running* r = nullptr;
    for (auto& x : running)
      if (x.spec->name == name) r = &x;
    if (!r) return Response::Text(404, "no role " + name + "\n");
    lab::HttpServer& s = *r->server;
    if (what == "stats") {
      lab::Stats st = s.GetStats();
      std::string out = "connections=" + std::to_string(st.connections) +
                        "\nrequests=" + std::to_string(st.requests) +
                        "\nbytes_received=" + std::to_string(st.bytesReceived) +
                        "\nbody_bytes=" + std::to_string(st.bodyBytes) +
                        "\npayload_bytes=" + std::to_string(st.payloadBytes) +
                        "\nbytes_sent=" + std::to_string(st.bytesSent) +
                        "\nbody_sent=" + std::to_string(st.bodySent) +
                        "\nactive=" + std::to_string(st.active) + "\n" + r->role->StatsText();
      return Response::Text(200, out);
    }
    if (what == "requests")
      return Response::Text(200, RequestsText(s, atoi(req.Param("from", "0").c_str())));
    if (what == "reset") {
      s.ResetRecords();
      return Response::Text(200, "ok\n");
    }
    if (what == "faults") {
      std::string out;
      for (const auto& [p, f] : s.Faults()) out += p + " " + f.Describe() + "\n";
      return Response::Text(200, out);
    }
    if (what == "fault") {
      if (req.Param("clear") == "1") {
        s.ClearFaults();
        return Response::Text(200, "ok\n");
      }
      lab::Fault f;
      std::string error;
      if (req.Param("path").empty() || !lab::Fault::Parse(req.Param("set"), &f, &error))
        return Response::Text(400, (error.empty() ? "path missing" : error) + "\n");
      s.SetFault(req.Param("path"), f);
      return Response::Text(200, "ok\n");
    }
    if (what == "set") {
      std::string reply;
      for (const auto& [k, v] : req.params)
        if (!r->role->Control(k, v, &reply)) return Response::Text(400, reply + "\n");
      return Response::Text(200, "ok\n");
    }
    return Response::Text(404, "unknown control " + what + "\n");
  });
}

}  // namespace

int main(int argc, char** argv) {
#define LAB_ROLE(n) lab::Register##n##Role();
#include "roles.def"
#undef LAB_ROLE

  // Known flags: general, per role generic, per role own.
  std::map<std::string, bool> known = {
      {"control-addr", true}, {"control-port", true}, {"any-port", false}, {"help", false}};
  std::map<std::string, const lab::RoleSpec*> owner;
  for (const auto& spec : lab::Roles()) {
    known[spec.name] = false;
    owner[spec.name] = &spec;
    for (const char* g : {"-addr", "-port", "-fault"}) {
      known[spec.name + g] = true;
      owner[spec.name + g] = &spec;
    }
    for (const auto& f : spec.flags) {
      known[f.name] = !f.value.empty();
      owner[f.name] = &spec;
    }
  }
  lab::Flags flags;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) {
      std::cerr << "kestrane-lab: unexpected argument \"" << arg << "\" (see --help)\n";
      return 2;
    }
    std::string name = arg.substr(2), value;
    size_t eq = name.find('=');
    bool hasValue = eq != std::string::npos;
    if (hasValue) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    auto it = known.find(name);
    if (it == known.end()) {
      std::cerr << "kestrane-lab: unknown flag --" << name << " (see --help)\n";
      return 2;
    }
    if (it->second && !hasValue) {
      if (i + 1 >= argc) {
        std::cerr << "kestrane-lab: --" << name << " needs a value\n";
        return 2;
      }
      value = argv[++i];
    } else if (!it->second && hasValue) {
      std::cerr << "kestrane-lab: --" << name << " takes no value\n";
      return 2;
    }
    flags.Add(name, value);
  }
  if (flags.Has("help")) {
    PrintHelp();
    return 0;
  }

  // Block the stop signals in every thread; the main thread waits for them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::vector<Running> running;
  for (const auto& spec : lab::Roles()) {
    bool wanted = false;
    for (const auto& [name, s] : owner)
      if (s == &spec && flags.Has(name)) wanted = true;
    if (!wanted) continue;
    Running r{&spec, spec.create(), std::make_unique<lab::HttpServer>(spec.name)};
    std::string error;
    for (const auto& text : flags.All(spec.name + "-fault")) {
      std::string path;
      lab::Fault fault;
      if (!lab::ParseFaultFlag(text, &path, &fault, &error)) {
        std::cerr << "kestrane-lab: --" << spec.name << "-fault: " << error << "\n";
        return 2;
      }
      r.server->SetFault(path, fault);
    }
    if (!r.role->Setup(*r.server, flags, &error)) {
      std::cerr << "kestrane-lab: " << spec.name << ": " << error << "\n";
      return 2;
    }
    bool ok = true;
    int64_t port = flags.GetInt(spec.name + "-port", flags.Has("any-port") ? 0 : spec.defaultPort, &ok);
    if (!ok || port < 0 || port > 65535) {
      std::cerr << "kestrane-lab: bad port for " << spec.name << "\n";
      return 2;
    }
    if (!r.server->Start(flags.Get(spec.name + "-addr", "127.0.0.1"), static_cast<int>(port), &error)) {
      std::cerr << "kestrane-lab: " << spec.name << ": " << error << "\n";
      return 1;
    }
    running.push_back(std::move(r));
  }

  lab::HttpServer control("control");
  InstallControl(control, running);
  bool ok = true;
  int64_t controlPort = flags.GetInt("control-port", 0, &ok);
  std::string error;
  if (!ok || !control.Start(flags.Get("control-addr", "127.0.0.1"), static_cast<int>(controlPort), &error)) {
    std::cerr << "kestrane-lab: control: " << (error.empty() ? "bad port" : error) << "\n";
    return 1;
  }
  for (const auto& r : running) std::cout << "role " << r.spec->name << " " << r.server->Url() << "\n";
  std::cout << "control " << control.Url() << "\nready" << std::endl;

  int sig = 0;
  sigwait(&stopSignals, &sig);
  // Connection threads may be stalled on purpose; end the process without waiting for them.
  std::cout.flush();
  _exit(0);
}
