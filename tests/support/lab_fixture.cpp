#include "lab_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <httplib.h>
#include <sstream>
#include <thread>

#include "platform/paths.h"
#include "core/properties_file.h"
#include "test_support.h"

namespace {

// "http://host:port" -> host, port.
bool SplitUrl(const std::string& url, std::string* host, int* port) {
  const std::string scheme = "http://";
  if (url.rfind(scheme, 0) != 0) return false;
  std::string rest = url.substr(scheme.size());
  size_t colon = rest.rfind(':');
  if (colon == std::string::npos) return false;
  *host = rest.substr(0, colon);
  if (!host->empty() && host->front() == '[') *host = host->substr(1, host->size() - 2);
  *port = atoi(rest.c_str() + colon + 1);
  return *port > 0;
}

}  // namespace

std::string LabRequest::Header(const std::string& name) const {
  for (const auto& [k, v] : headers)
    if (k.size() == name.size() && strncasecmp(k.data(), name.data(), k.size()) == 0) return v;
  return "";
}

std::string LabEscape(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

LabProcess::LabProcess(std::vector<std::string> flags, std::chrono::milliseconds startTimeout) {
  std::string program = testsupport::DistPath("kestrane-lab");
  if (access(program.c_str(), X_OK) != 0) {
    m_error = "no program " + program;
    return;
  }
  flags.insert(flags.begin(), "--any-port");
  std::vector<char*> argv;
  argv.push_back(program.data());
  for (auto& f : flags) argv.push_back(f.data());
  argv.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    m_error = "pipe failed";
    return;
  }
  pid_t parent = getpid();
  m_pid = fork();
  if (m_pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(fds[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  m_out = fds[0];
  if (m_pid < 0) {
    m_error = "fork failed";
    return;
  }

  // Read "role NAME URL" lines up to "ready".
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + startTimeout;
  while (text.find("ready\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      m_error = "the lab did not get ready in time";
      Stop();
      return;
    }
    pollfd p{m_out, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[1024];
    ssize_t n = read(m_out, buf, sizeof buf);
    if (n <= 0) {
      m_error = "the lab ended before it was ready (see its messages above)";
      Stop();
      return;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  std::istringstream lines(text);
  std::string word;
  while (lines >> word) {
    if (word == "role") {
      std::string name, url;
      lines >> name >> url;
      m_roleUrls[name] = url;
    } else if (word == "control") {
      lines >> m_controlUrl;
    }
  }
  std::string body;
  if (!Control("/lab/ping", &body) || body != "ok") {
    m_error = "the lab's control endpoint does not answer";
    Stop();
    return;
  }
  m_started = true;
}

LabProcess::~LabProcess() { Stop(); }

void LabProcess::Stop() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    bool ended = testsupport::WaitFor([&] { return waitpid(m_pid, nullptr, WNOHANG) == m_pid; },
                                      std::chrono::seconds(5));
    if (!ended) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
  }
  if (m_out >= 0) {
    close(m_out);
    m_out = -1;
  }
  m_started = false;
}

std::string LabProcess::Url(const std::string& role, const std::string& path) const {
  auto it = m_roleUrls.find(role);
  return it == m_roleUrls.end() ? "" : it->second + path;
}

int LabProcess::Port(const std::string& role) const {
  std::string host;
  int port = 0;
  return SplitUrl(Url(role), &host, &port) ? port : 0;
}

std::string LabProcess::Address(const std::string& role) const {
  std::string host;
  int port = 0;
  return SplitUrl(Url(role), &host, &port) ? host : "";
}

bool LabProcess::Control(const std::string& pathAndQuery, std::string* body) const {
  std::string host;
  int port = 0;
  if (!SplitUrl(m_controlUrl, &host, &port)) return false;
  httplib::Client client(host, port);
  client.set_connection_timeout(5);
  client.set_read_timeout(10);
  auto res = client.Get(pathAndQuery.c_str());
  if (!res) return false;
  if (body) *body = res->body;
  return res->status == 200;
}

LabStats LabProcess::Stats(const std::string& role) const {
  LabStats s;
  std::string body;
  if (!Control("/lab/" + role + "/stats", &body)) return s;
  std::istringstream lines(body);
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) s.all[line.substr(0, eq)] = line.substr(eq + 1);
  }
  auto num = [&](const char* key) { return s.all.count(key) ? std::stoll(s.all[key]) : 0LL; };
  s.connections = num("connections");
  s.requests = num("requests");
  s.bytesReceived = num("bytes_received");
  s.bodyBytes = num("body_bytes");
  s.payloadBytes = num("payload_bytes");
  s.bytesSent = num("bytes_sent");
  s.bodySent = num("body_sent");
  s.active = num("active");
  return s;
}

bool LabProcess::WaitUntil(const std::string& role, const std::function<bool(const LabStats&)>& condition,
                           std::chrono::milliseconds timeout) const {
  return testsupport::WaitFor([&] { return condition(Stats(role)); }, timeout);
}

std::vector<LabRequest> LabProcess::Requests(const std::string& role, int fromIndex) const {
  std::vector<LabRequest> out;
  std::string body;
  if (!Control("/lab/" + role + "/requests?from=" + std::to_string(fromIndex), &body)) return out;
  size_t pos = 0;
  while (pos < body.size()) {
    size_t eol = body.find('\n', pos);
    if (eol == std::string::npos) break;
    std::istringstream fields(body.substr(pos, eol - pos));
    pos = eol + 1;
    LabRequest r;
    std::string field;
    size_t headLength = 0;
    while (fields >> field) {
      size_t eq = field.find('=');
      if (eq == std::string::npos) continue;
      std::string k = field.substr(0, eq);
      long long v = std::stoll(field.substr(eq + 1));
      if (k == "index") r.index = static_cast<int>(v);
      else if (k == "connection") r.connection = static_cast<int>(v);
      else if (k == "status") r.status = static_cast<int>(v);
      else if (k == "declared") r.declaredLength = v;
      else if (k == "body") r.bodyReceived = v;
      else if (k == "payload") r.payload = v;
      else if (k == "sent") r.bodySent = v;
      else if (k == "complete") r.complete = v != 0;
      else if (k == "head") headLength = static_cast<size_t>(v);
    }
    r.head = body.substr(pos, headLength);
    pos += headLength + 1;
    size_t lineEnd = r.head.find("\r\n");
    r.requestLine = r.head.substr(0, lineEnd);
    size_t s1 = r.requestLine.find(' '), s2 = r.requestLine.rfind(' ');
    if (s1 != std::string::npos && s2 > s1) {
      r.method = r.requestLine.substr(0, s1);
      r.target = r.requestLine.substr(s1 + 1, s2 - s1 - 1);
    }
    size_t hp = lineEnd == std::string::npos ? r.head.size() : lineEnd + 2;
    while (hp < r.head.size()) {
      size_t e = r.head.find("\r\n", hp);
      if (e == std::string::npos || e == hp) break;
      std::string h = r.head.substr(hp, e - hp);
      size_t colon = h.find(':');
      if (colon != std::string::npos) {
        size_t v = h.find_first_not_of(' ', colon + 1);
        r.headers.emplace_back(h.substr(0, colon), v == std::string::npos ? "" : h.substr(v));
      }
      hp = e + 2;
    }
    out.push_back(std::move(r));
  }
  return out;
}

bool LabProcess::Reset(const std::string& role) const { return Control("/lab/" + role + "/reset"); }

bool LabProcess::SetFault(const std::string& role, const std::string& path, const std::string& spec) const {
  return Control("/lab/" + role + "/fault?path=" + LabEscape(path) + "&set=" + LabEscape(spec));
}

bool LabProcess::ClearFaults(const std::string& role) const {
  return Control("/lab/" + role + "/fault?clear=1");
}

bool LabProcess::Set(const std::string& role, const std::string& name, const std::string& value) const {
  return Control("/lab/" + role + "/set?" + LabEscape(name) + "=" + LabEscape(value));
}

std::unique_ptr<LabProcess> StartLabOnFixedPort(const std::vector<std::string>& flags) {
  std::unique_ptr<LabProcess> lab;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    lab = std::make_unique<LabProcess>(flags);
    if (lab->Started()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  } while (std::chrono::steady_clock::now() < deadline);
  return lab;
}

std::string WriteBeijingTelecomAccounts(const std::string& path) {
  testsupport::WriteFile(path, R"({"accounts":[
      {"username":"bj","password":"bj123","statuscode":"0","userid":"20001","nickname":"北京用户",
       "location":"北京市 朝阳区","bandwidth":"100","rloc":"北京市","roper":"中国电信",
       "rcityid":"110105","roperid":"1","usertype":"1","locCityid":"110105","locOperid":"1",
       "locProid":"110000","scores":"80,81,82"}]})");
  return path;
}

void PointVideoHostsAtLab(const std::string& folder, const LabProcess& lab) {
  PropertiesFile config(paths::Join(folder, "conf/config.properties"));
  config.Load();
  for (const char* site : {"ku6", "letv", "youku", "tudou", "sina", "sohu", "ifeng"}) {
    const std::string key = std::string("video_host_") + site;
    const std::string url = lab.Url("video", std::string("/") + site);
    config.Set(key, url);
    config.Add(key, url);
  }
  config.Save(false);
}

void PrepareLabProgramFolder(const std::string& folder, const LabProcess& lab,
                             const std::string& serverAddress,
                             const std::vector<std::string>& extraDistFiles) {
  std::vector<std::string> files = {"conf/config.properties",     "conf/l_c_config_01.properties",
                                    "conf/ipconfig.properties",   "DB/Geo_CN.db",
                                    "Config/operator_config.xml", "Config/addr_server.xml",
                                    "libNetworkStatus.so"};
  files.insert(files.end(), extraDistFiles.begin(), extraDistFiles.end());
  for (const auto& f : files) testsupport::CopyFile(testsupport::DistPath(f), paths::Join(folder, f));
  testsupport::WriteFile(paths::Join(folder, "Config/dest_config.xml"),
                         "<d><destip name=\"北京电信\" value=\"" + serverAddress + ":1101:1\"/></d>");
  testsupport::WriteFile(paths::Join(folder, "TestFile/up.rar"), std::string(1 << 20, 'u'));
  PropertiesFile config(paths::Join(folder, "conf/config.properties"));
  config.Load();
  config.Set("update_server_url", EncodeStoredValue("127.0.0.1"));
  config.Set("web_project_port", std::to_string(lab.Port("management")));
  config.Set("time_server_url", lab.Url("time"));
  config.Set("upload_local_file_path", "TestFile\\up.rar");
  config.Set("url_down_file", "50MB.rar");
  config.Save(false);
  if (!lab.Url("video").empty()) PointVideoHostsAtLab(folder, lab);
}
