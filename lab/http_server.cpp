#include "http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace lab {

namespace {

bool IEquals(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

const char* Pattern() {
  static const std::vector<char> pattern = [] {
    std::vector<char> p(kPatternSize);
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < p.size(); ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      p[i] = static_cast<char>(x & 0xff);
    }
    return p;
  }();
  return pattern.data();
}

std::string UrlDecode(const std::string& text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::map<std::string, std::string> ParseQuery(const std::string& text) {
  std::map<std::string, std::string> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t amp = text.find('&', pos);
    if (amp == std::string::npos) amp = text.size();
    std::string item = text.substr(pos, amp - pos);
    if (!item.empty()) {
      size_t eq = item.find('=');
      if (eq == std::string::npos)
        out.emplace(UrlDecode(item), "");
      else
        out.emplace(UrlDecode(item.substr(0, eq)), UrlDecode(item.substr(eq + 1)));
    }
    pos = amp + 1;
  }
  return out;
}

std::string Request::Header(const std::string& name) const {
  for (const auto& [k, v] : headers)
    if (IEquals(k, name)) return v;
  return "";
}

bool Request::HasHeader(const std::string& name) const {
  for (const auto& h : headers)
    if (IEquals(h.first, name)) return true;
  return false;
}

std::string Request::Param(const std::string& name, const std::string& fallback) const {
  auto it = params.find(name);
  return it == params.end() ? fallback : it->second;
}

void Response::Set(const std::string& name, const std::string& value) {
  for (auto& h : headers)
    if (IEquals(h.first, name)) {
      h.second = value;
      return;
    }
  headers.emplace_back(name, value);
}

Response Response::Text(int status, std::string body, const std::string& type) {
  Response r;
  r.status = status;
  r.body = std::move(body);
  if (!type.empty()) r.headers.emplace_back("Content-Type", type);
  return r;
}

bool Fault::Parse(const std::string& text, Fault* fault, std::string* error) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    std::string word = Trim(text.substr(pos, comma - pos));
    pos = comma + 1;
    if (word.empty()) continue;
    std::string key = word, value;
    size_t eq = word.find('=');
    if (eq != std::string::npos) {
      key = word.substr(0, eq);
      value = word.substr(eq + 1);
    }
    auto number = [&](int64_t* out) {
      char* end = nullptr;
      long long v = strtoll(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || v < 0) return false;
      *out = v;
      return true;
    };
    int64_t n = 0;
    if (key == "404" && value.empty()) {
      fault->status = 404;
    } else if (key == "status" && number(&n) && n >= 100 && n <= 999) {
      fault->status = static_cast<int>(n);
    } else if (key == "nolength" && value.empty()) {
      fault->noLength = true;
    } else if (key == "html" && value.empty()) {
      fault->html = true;
    } else if (key == "stall" && number(&n)) {
      fault->stallAfter = n;
    } else if (key == "stallhead" && value.empty()) {
      fault->stallHead = true;
    } else if (key == "stallbody" && number(&n)) {
      fault->stallBody = n;
    } else if (key == "close" && number(&n)) {
      fault->closeAfter = n;
    } else if (key == "rate" && number(&n) && n > 0) {
      fault->rate = n;
    } else if (key == "delay" && number(&n) && n <= 600000) {
      fault->delayMs = static_cast<int>(n);
    } else if (key == "from" && number(&n) && n >= 1) {
      fault->fromRequest = n;
    } else {
      if (error) *error = "unknown fault \"" + word + "\"";
      return false;
    }
  }
  return true;
}

std::string Fault::Describe() const {
  std::string out;
  auto add = [&](const std::string& w) { out += (out.empty() ? "" : ",") + w; };
  if (status) add("status=" + std::to_string(status));
  if (noLength) add("nolength");
  if (html) add("html");
  if (stallAfter >= 0) add("stall=" + std::to_string(stallAfter));
  if (stallHead) add("stallhead");
  if (stallBody >= 0) add("stallbody=" + std::to_string(stallBody));
  if (closeAfter >= 0) add("close=" + std::to_string(closeAfter));
  if (rate) add("rate=" + std::to_string(rate));
  if (delayMs) add("delay=" + std::to_string(delayMs));
  if (fromRequest > 1) add("from=" + std::to_string(fromRequest));
  return out;
}

struct HttpServer::Connection {
  int fd = -1;
  int id = 0;
  std::string peer;
  std::string buffer;  // read but not yet consumed
  // Body reading under a rate fault is paced per connection, across its requests.
  bool pacing = false;
  std::chrono::steady_clock::time_point paceStarted;
  int64_t paced = 0;  // body bytes taken since paceStarted
};

HttpServer::HttpServer(std::string name) : m_name(std::move(name)) {}

HttpServer::~HttpServer() { Stop(); }

void HttpServer::Route(const std::string& method, const std::string& path, Handler handler) {
  std::lock_guard<std::mutex> lock(m_routeLock);
  bool prefix = path.size() >= 2 && path.compare(path.size() - 2, 2, "/*") == 0;
  m_routes.push_back(
      {method, prefix ? path.substr(0, path.size() - 1) : path, prefix, std::move(handler)});
}

void HttpServer::SetFault(const std::string& path, const Fault& fault) {
  std::lock_guard<std::mutex> lock(m_routeLock);
  m_faults[path] = fault;
  m_pathRequests.clear();
}

void HttpServer::ClearFaults() {
  std::lock_guard<std::mutex> lock(m_routeLock);
  m_faults.clear();
  m_pathRequests.clear();
}

std::vector<std::pair<std::string, Fault>> HttpServer::Faults() const {
  std::lock_guard<std::mutex> lock(m_routeLock);
  return {m_faults.begin(), m_faults.end()};
}

Fault HttpServer::FaultFor(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_routeLock);
  auto it = m_faults.find(path);
  if (it != m_faults.end()) return it->second;
  // Longest "dir/*" prefix, then "*".
  const Fault* best = nullptr;
  size_t bestLen = 0;
  for (const auto& [p, f] : m_faults) {
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, "/*") == 0) {
      std::string pre = p.substr(0, p.size() - 1);
      if (path.compare(0, pre.size(), pre) == 0 && pre.size() > bestLen) {
        best = &f;
        bestLen = pre.size();
      }
    }
  }
  if (best) return *best;
  it = m_faults.find("*");
  return it != m_faults.end() ? it->second : Fault{};
}

Fault HttpServer::FaultForAnswer(const std::string& path) {
  Fault fault = FaultFor(path);
  int64_t nth = 0;
  {
    std::lock_guard<std::mutex> lock(m_routeLock);
    nth = ++m_pathRequests[path];
  }
  return nth < fault.fromRequest ? Fault{} : fault;
}

bool HttpServer::Start(const std::string& address, int port, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
  addrinfo* res = nullptr;
  std::string portText = std::to_string(port);
  if (getaddrinfo(address.c_str(), portText.c_str(), &hints, &res) != 0 || !res) {
    if (error) *error = "bad address " + address;
    return false;
  }
  int fd = socket(res->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (fd < 0 || bind(fd, res->ai_addr, res->ai_addrlen) != 0 || listen(fd, 128) != 0) {
    if (error) *error = "cannot listen on " + address + ":" + portText + ": " + strerror(errno);
    if (fd >= 0) close(fd);
    freeaddrinfo(res);
    return false;
  }
  freeaddrinfo(res);
  sockaddr_storage local{};
  socklen_t len = sizeof local;
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
  m_port = local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                                       : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  m_address = address;
  m_listenFd = fd;
  m_acceptThread = std::thread([this] { AcceptLoop(); });
  return true;
}

void HttpServer::Stop() {
  if (m_listenFd < 0) return;
  m_stopping = true;
  shutdown(m_listenFd, SHUT_RDWR);
  if (m_acceptThread.joinable()) m_acceptThread.join();
  close(m_listenFd);
  m_listenFd = -1;
  {
    std::lock_guard<std::mutex> lock(m_threadLock);
    for (int fd : m_openFds) shutdown(fd, SHUT_RDWR);
  }
  // Connection threads end once their sockets are shut down.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (m_active.load() > 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::string HttpServer::Url() const {
  bool v6 = m_address.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + m_address + "]" : m_address) + ":" + std::to_string(m_port);
}

void HttpServer::AcceptLoop() {
  while (!m_stopping) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE) {
        if (errno == EMFILE) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      break;
    }
    char host[NI_MAXHOST] = "", serv[NI_MAXSERV] = "";
    getnameinfo(reinterpret_cast<sockaddr*>(&peer), len, host, sizeof host, serv, sizeof serv,
                NI_NUMERICHOST | NI_NUMERICSERV);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    {
      std::lock_guard<std::mutex> lock(m_threadLock);
      m_openFds.push_back(fd);
    }
    ++m_active;
    ++m_connections;
    std::thread([this, fd, p = std::string(host) + ":" + serv] { Serve(fd, p); }).detach();
  }
}

void HttpServer::Serve(int fd, std::string peer) {
  Connection c;
  c.fd = fd;
  c.id = m_nextConnection++;
  c.peer = std::move(peer);
  while (!m_stopping && ServeOne(c)) {
  }
  {
    std::lock_guard<std::mutex> lock(m_threadLock);
    m_openFds.erase(std::remove(m_openFds.begin(), m_openFds.end(), fd), m_openFds.end());
  }
  close(fd);
  --m_active;
}

void HttpServer::AddReceived(int64_t n) { m_bytesReceived += n; }

void HttpServer::AddSent(int64_t n, int64_t body) {
  m_bytesSent += n;
  m_bodySent += body;
}

std::shared_ptr<RequestRecord> HttpServer::NewRecord(int connection, const std::string& head) {
  auto rec = std::make_shared<RequestRecord>();
  rec->connection = connection;
  rec->head = head;
  std::lock_guard<std::mutex> lock(m_recordLock);
  rec->index = m_nextIndex++;
  m_records.push_back(rec);
  while (m_records.size() > kMaxLoggedRequests) m_records.pop_front();
  // The log may drop its reference while the connection still updates the record.
  return rec;
}

bool HttpServer::ServeOne(Connection& c) {
  // Head.
  size_t end;
  char chunk[65536];
  while ((end = c.buffer.find("\r\n\r\n")) == std::string::npos) {
    if (c.buffer.size() > kMaxHeadBytes) return false;
    ssize_t n = recv(c.fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    AddReceived(n);
    c.buffer.append(chunk, static_cast<size_t>(n));
  }
  std::string head = c.buffer.substr(0, end + 4);
  c.buffer.erase(0, end + 4);
  ++m_requests;

  std::shared_ptr<RequestRecord> rec = NewRecord(c.id, head);

  Request req;
  req.connection = c.id;
  req.peer = c.peer;
  size_t lineEnd = head.find("\r\n");
  std::string line = head.substr(0, lineEnd);
  size_t s1 = line.find(' ');
  size_t s2 = line.rfind(' ');
  if (s1 == std::string::npos || s2 == s1) {
    SendAll(c.fd, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 68);
    return false;
  }
  req.method = line.substr(0, s1);
  req.target = line.substr(s1 + 1, s2 - s1 - 1);
  req.version = line.substr(s2 + 1);
  size_t q = req.target.find('?');
  req.path = UrlDecode(req.target.substr(0, q), false);
  if (q != std::string::npos) req.query = req.target.substr(q + 1);
  req.params = ParseQuery(req.query);
  size_t pos = lineEnd + 2;
  while (pos < head.size()) {
    size_t e = head.find("\r\n", pos);
    if (e == std::string::npos || e == pos) break;
    std::string h = head.substr(pos, e - pos);
    size_t colon = h.find(':');
    if (colon != std::string::npos)
      req.headers.emplace_back(h.substr(0, colon), Trim(h.substr(colon + 1)));
    pos = e + 2;
  }

  // Body.
  std::string lengthText = req.Header("Content-Length");
  int64_t length = 0;
  if (!lengthText.empty()) length = strtoll(lengthText.c_str(), nullptr, 10);
  if (length < 0) length = 0;
  if (!req.Header("Transfer-Encoding").empty()) {
    SendAll(c.fd, "HTTP/1.1 501 Not Implemented\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
            72);
    return false;
  }
  std::string type = req.Header("Content-Type");
  std::string boundary;
  if (type.find("multipart/") != std::string::npos) {
    size_t b = type.find("boundary=");
    if (b != std::string::npos) {
      boundary = type.substr(b + 9);
      if (!boundary.empty() && boundary.front() == '"')
        boundary = boundary.substr(1, boundary.find('"', 1) - 1);
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_recordLock);
    rec->contentType = type;
    rec->declaredLength = lengthText.empty() ? -1 : length;
  }
  int64_t preamble = -1;  // multipart: bytes before the file content, once known
  std::string start;      // multipart: the first bytes, to find the preamble
  const int64_t trailer = boundary.empty() ? 0 : static_cast<int64_t>(boundary.size()) + 8;
  auto payloadOf = [&](int64_t received) -> int64_t {
    if (boundary.empty()) return received;
    if (preamble < 0) return 0;
    int64_t p = std::min(received, length - trailer) - preamble;
    return p > 0 ? p : 0;
  };
  if (length > 0 && c.buffer.empty() &&
      strcasecmp(req.Header("Expect").c_str(), "100-continue") == 0) {
    static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    if (!SendAll(c.fd, kContinue, sizeof kContinue - 1)) return false;
    AddSent(sizeof kContinue - 1, 0);
  }
  int64_t received = 0, lastPayload = 0;
  auto take = [&](const char* data, size_t n) {
    if (req.body.size() < Request::kMaxKeptBody)
      req.body.append(data, std::min(n, Request::kMaxKeptBody - req.body.size()));
    if (!boundary.empty() && preamble < 0 && start.size() < 8192) {
      start.append(data, std::min(n, 8192 - start.size()));
      size_t e = start.find("\r\n\r\n");
      if (e != std::string::npos) preamble = static_cast<int64_t>(e + 4);
    }
    received += static_cast<int64_t>(n);
    int64_t payload = payloadOf(received);
    m_bodyBytes += static_cast<int64_t>(n);
    m_payloadBytes += payload - lastPayload;
    lastPayload = payload;
    std::lock_guard<std::mutex> lock(m_recordLock);
    rec->bodyReceived = received;
    rec->payload = payload;
  };
  // A rate fault paces the reading of bodies as it paces the sending of them: per
  // connection, so that short requests kept alive are held to the rate as well.
  const Fault bodyFault = FaultFor(req.path);
  const int64_t readRate = bodyFault.rate;
  if (readRate > 0 && !c.pacing) {
    c.pacing = true;
    c.paceStarted = std::chrono::steady_clock::now();
    c.paced = 0;
  }
  auto pace = [&](int64_t n) {
    if (readRate <= 0) return;
    c.paced += n;
    std::this_thread::sleep_until(c.paceStarted +
                                  std::chrono::microseconds(c.paced * 1000000 / readRate));
  };
  int64_t fromBuffer = std::min<int64_t>(length, static_cast<int64_t>(c.buffer.size()));
  if (bodyFault.stallBody >= 0) fromBuffer = std::min(fromBuffer, bodyFault.stallBody);
  if (fromBuffer > 0) {
    take(c.buffer.data(), static_cast<size_t>(fromBuffer));
    c.buffer.erase(0, static_cast<size_t>(fromBuffer));
    pace(fromBuffer);
  }
  const int64_t readPiece =
      readRate > 0 ? std::max<int64_t>(1, std::min<int64_t>(sizeof chunk, readRate / 50))
                   : sizeof chunk;
  while (received < length) {
    if (bodyFault.stallBody >= 0 && received >= bodyFault.stallBody) {
      // A reader that stops: the client's send buffer fills and stays full until it gives up.
      while (!m_stopping) {
        pollfd p{c.fd, POLLRDHUP, 0};
        if (poll(&p, 1, 200) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) break;
      }
      return false;
    }
    int64_t want = std::min<int64_t>(readPiece, length - received);
    if (bodyFault.stallBody >= 0) want = std::min(want, bodyFault.stallBody - received);
    ssize_t n = recv(c.fd, chunk, static_cast<size_t>(want), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // cut off mid-body; the record keeps what came
    AddReceived(n);
    take(chunk, static_cast<size_t>(n));
    pace(n);
  }
  req.bodyLength = received;
  {
    std::lock_guard<std::mutex> lock(m_recordLock);
    rec->complete = true;
  }
  if (type.find("application/x-www-form-urlencoded") != std::string::npos &&
      req.body.size() == static_cast<size_t>(received)) {
    for (auto& [k, v] : ParseQuery(req.body)) req.params.emplace(k, v);
  }

  Response res = Dispatch(req);
  return SendResponse(c, req, std::move(res), rec.get());
}

Response HttpServer::Dispatch(const Request& req) const {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(m_routeLock);
    for (const auto& r : m_routes) {
      bool methodOk =
          r.method == "*" || r.method == req.method || (req.method == "HEAD" && r.method == "GET");
      bool pathOk = r.prefix ? req.path.compare(0, r.path.size(), r.path) == 0 : req.path == r.path;
      if (methodOk && pathOk) {
        handler = r.handler;
        break;
      }
    }
  }
  if (!handler) return Response::Text(404, "Not Found");
  return handler(req);
}

bool HttpServer::SendResponse(Connection& c, const Request& req, Response res, RequestRecord* rec) {
  Fault fault = FaultForAnswer(req.path);
  auto waitForPeerClose = [&] {
    char sink[4096];
    while (!m_stopping) {
      pollfd p{c.fd, POLLIN, 0};
      int r = poll(&p, 1, 200);
      if (r > 0) {
        ssize_t n = recv(c.fd, sink, sizeof sink, 0);
        if (n <= 0) return;
        AddReceived(n);
      }
    }
  };
  if (fault.delayMs > 0) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(fault.delayMs);
    while (!m_stopping && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (fault.stallHead) {
    waitForPeerClose();
    return false;
  }
  if (fault.status) res = Response::Text(fault.status, fault.status == 404 ? "Not Found" : "Error");
  if (fault.html) res.Set("Content-Type", "text/html");

  int64_t length = static_cast<int64_t>(res.body.size());
  int file = -1;
  if (!res.filePath.empty()) {
    file = open(res.filePath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file < 0 || fstat(file, &st) != 0) {
      if (file >= 0) close(file);
      file = -1;
      res = Response::Text(404, "Not Found");
      length = static_cast<int64_t>(res.body.size());
    } else {
      length = st.st_size;
    }
  } else if (res.generatedLength >= 0) {
    length = res.generatedLength;
  }
  struct FileCloser {
    int fd;
    ~FileCloser() {
      if (fd >= 0) close(fd);
    }
  } closer{file};

  bool closeAfter = res.close || fault.noLength || IEquals(req.Header("Connection"), "close") ||
                    (req.version == "HTTP/1.0" && !IEquals(req.Header("Connection"), "keep-alive"));
  std::string head = "HTTP/1.1 " + std::to_string(res.status) + " " + Reason(res.status) + "\r\n";
  for (const auto& [k, v] : res.headers)
    if (!IEquals(k, "Content-Length")) head += k + ": " + v + "\r\n";
  if (!fault.noLength) head += "Content-Length: " + std::to_string(length) + "\r\n";
  if (closeAfter) head += "Connection: close\r\n";
  head += "\r\n";
  {
    std::lock_guard<std::mutex> lock(m_recordLock);
    rec->status = res.status;
  }
  if (!SendAll(c.fd, head.data(), head.size())) return false;
  AddSent(static_cast<int64_t>(head.size()), 0);
  if (req.method == "HEAD") return !closeAfter;

  int64_t limit = length;
  if (fault.stallAfter >= 0) limit = std::min(limit, fault.stallAfter);
  if (fault.closeAfter >= 0) limit = std::min(limit, fault.closeAfter);

  const int64_t piece = fault.rate > 0
                            ? std::max<int64_t>(1, std::min<int64_t>(65536, fault.rate / 50))
                            : static_cast<int64_t>(kPatternSize);
  auto started = std::chrono::steady_clock::now();
  std::vector<char> fileBuffer(file >= 0 ? 262144 : 0);
  int64_t sent = 0;
  while (sent < limit && !m_stopping) {
    int64_t want = std::min(piece, limit - sent);
    const char* data;
    if (file >= 0) {
      ssize_t n = pread(file, fileBuffer.data(),
                        static_cast<size_t>(std::min<int64_t>(want, fileBuffer.size())), sent);
      if (n <= 0) return false;
      data = fileBuffer.data();
      want = n;
    } else if (res.generatedLength >= 0) {
      size_t offset = static_cast<size_t>(sent % kPatternSize);
      want = std::min<int64_t>(want, static_cast<int64_t>(kPatternSize - offset));
      data = Pattern() + offset;
    } else {
      data = res.body.data() + sent;
    }
    ssize_t n = send(c.fd, data, static_cast<size_t>(want), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += n;
    AddSent(n, n);
    {
      std::lock_guard<std::mutex> lock(m_recordLock);
      rec->bodySent = sent;
    }
    if (fault.rate > 0) {
      auto due = started + std::chrono::microseconds(sent * 1000000 / fault.rate);
      while (!m_stopping && std::chrono::steady_clock::now() < due)
        std::this_thread::sleep_until(
            std::min(due, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
    }
  }
  if (sent < length) {
    if (fault.stallAfter >= 0 && sent == fault.stallAfter) waitForPeerClose();
    return false;
  }
  return !closeAfter;
}

Stats HttpServer::GetStats() const {
  Stats s;
  s.connections = m_connections;
  s.requests = m_requests;
  s.bytesReceived = m_bytesReceived;
  s.bodyBytes = m_bodyBytes;
  s.payloadBytes = m_payloadBytes;
  s.bytesSent = m_bytesSent;
  s.bodySent = m_bodySent;
  s.active = m_active;
  return s;
}

std::vector<RequestRecord> HttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_recordLock);
  std::vector<RequestRecord> out;
  out.reserve(m_records.size());
  for (const auto& r : m_records) out.push_back(*r);
  return out;
}

void HttpServer::ResetRecords() {
  {
    std::lock_guard<std::mutex> lock(m_routeLock);
    m_pathRequests.clear();
  }
  std::lock_guard<std::mutex> lock(m_recordLock);
  m_records.clear();
  m_connections = 0;
  m_requests = 0;
  m_bytesReceived = 0;
  m_bodyBytes = 0;
  m_payloadBytes = 0;
  m_bytesSent = 0;
  m_bodySent = 0;
}

}  // namespace lab
