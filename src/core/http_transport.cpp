#include "core/http_transport.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <system_error>
#include <thread>

#include "core/log_file.h"
#include "core/properties_file.h"
#include "platform/codepage.h"

namespace {

std::atomic<int> g_connectMs{transport::kTextConnectTimeoutMs};
std::atomic<int> g_ioMs{transport::kTextIoTimeoutMs};

// Replies larger than this are not text replies; the request fails rather than eat memory.
constexpr size_t kMaxTextReply = 16 << 20;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  size_t n = size * count;
  if (body->size() + n > kMaxTextReply) return 0;
  body->append(data, n);
  return n;
}

// The send and receive time-out: the request ends when no byte has moved for this long.
// (libcurl's own low-speed check averages over several seconds, which stretches it.)
struct IdleWatch {
  curl_off_t down = -1, up = -1;
  int64_t lastMove = 0;
  int timeoutMs = 0;
  bool expired = false;
};

int CheckIdle(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* w = static_cast<IdleWatch*>(user);
  int64_t now = transport::TickMs();
  if (dlnow != w->down || ulnow != w->up || w->lastMove == 0) {
    w->down = dlnow;
    w->up = ulnow;
    w->lastMove = now;
    return 0;
  }
  if (now - w->lastMove >= w->timeoutMs) {
    w->expired = true;
    return 1;
  }
  return 0;
}

void WatchIdle(CURL* curl, IdleWatch* watch) {
  watch->timeoutMs = g_ioMs.load();
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckIdle);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, watch);
}

int CodeOf(CURLcode rc, const IdleWatch& watch) {
  if (rc == CURLE_OK) return kHttpDone;
  if (rc == CURLE_OPERATION_TIMEDOUT || (rc == CURLE_ABORTED_BY_CALLBACK && watch.expired))
    return kHttpTimeout;
  return kHttpFailure;
}

bool IsWebScheme(const std::string& url, transport::UrlParts* parts) {
  return transport::ParseUrl(url, parts) && (parts->scheme == "http" || parts->scheme == "https");
}

// Options shared by the text requests: the headers in their order, time-outs, no signals.
curl_slist* PrepareTextRequest(CURL* curl, const std::string& url, const std::string& agent,
                               std::string* body) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  // Redirects are followed, as a browser session does.
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_connectMs.load()));
  // The certificate's name is not checked; its chain is.
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  // Decode what "Accept-Encoding" below allows; the header itself is ours.
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: *,*/*");
  headers = curl_slist_append(headers, "Accept-Language: zh-cn");
  headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
  headers = curl_slist_append(headers, "Accept-Encoding: gzip, deflate");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  return headers;
}

}  // namespace

HttpSession::HttpSession(std::string agent) : m_agent(std::move(agent)) {}

HttpSession::~HttpSession() {
  if (m_handle) curl_easy_cleanup(static_cast<CURL*>(m_handle));
}

int HttpGetText(const std::string& url, std::string& text) {
  text.clear();
  transport::UrlParts parts;
  if (!IsWebScheme(url, &parts)) return kHttpFailure;
  GlobalInit();
  CURL* curl = curl_easy_init();
  if (!curl) return kHttpFailure;
  std::string body;
  curl_slist* headers = PrepareTextRequest(curl, url, kBrowserAgent, &body);
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  IdleWatch watch;
  WatchIdle(curl, &watch);
  CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  // A request that could not be sent is a failure, not an empty answer.
  if (rc != CURLE_OK) return CodeOf(rc, watch);
  text = codepage::SanitizeUtf8(body);
  return kHttpDone;
}

int HttpPostForm(HttpSession& session, const std::string& url, const std::string& form,
                 std::string& text) {
  text.clear();
  logs::Write(logs::kMain, "Post Begin");
  transport::UrlParts parts;
  if (!IsWebScheme(url, &parts)) {
    logs::Write(logs::kMain, "FAILURE");
    return kHttpFailure;
  }
  GlobalInit();
  std::lock_guard<std::mutex> lock(session.m_lock);
  if (!session.m_handle) session.m_handle = curl_easy_init();
  CURL* curl = static_cast<CURL*>(session.m_handle);
  if (!curl) {
    logs::Write(logs::kMain, "pConnection is null");
    return kHttpFailure;
  }
  // Reset keeps the session's open connection for the next request.
  curl_easy_reset(curl);
  std::string body;
  curl_slist* headers = PrepareTextRequest(curl, url, session.m_agent, &body);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, form.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form.size()));
  IdleWatch watch;
  WatchIdle(curl, &watch);
  CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  logs::Write(logs::kMain, "Post End");
  if (rc != CURLE_OK) {
    int code = CodeOf(rc, watch);
    logs::Write(logs::kMain, code == kHttpTimeout ? "OUTTIME" : "FAILURE");
    return code;
  }
  text = codepage::SanitizeUtf8(body);
  return kHttpDone;
}

std::string TimeServerBase() {
  std::string url = conf::Read(conf::kConfig, "time_server_url");
  transport::UrlParts parts;
  if (url != "null" && !url.empty() && transport::ParseUrl(url, &parts)) {
    std::string host =
        parts.host.find(':') != std::string::npos ? "[" + parts.host + "]" : parts.host;
    return parts.scheme + "://" + host + ":" + std::to_string(parts.port);
  }
  std::string stored = conf::Read(conf::kConfig, "update_server_url");
  std::string host = stored == "null" ? "" : DecodeStoredValue(stored);
  if (host.empty()) return "";
  std::string port = conf::Read(conf::kConfig, "web_project_port");
  return "http://" + host + (port == "null" || port.empty() ? "" : ":" + port);
}

namespace {

struct TimeReply {
  std::string date;
};

size_t CaptureDate(char* data, size_t size, size_t count, void* user) {
  size_t n = size * count;
  std::string line(data, n);
  if (line.size() > 5 && strncasecmp(line.c_str(), "Date:", 5) == 0) {
    std::string v = line.substr(5);
    size_t b = v.find_first_not_of(" \t");
    size_t e = v.find_last_not_of(" \t\r\n");
    static_cast<TimeReply*>(user)->date = b == std::string::npos ? "" : v.substr(b, e - b + 1);
  }
  return n;
}

// The time host's clock, or -1.
time_t ServerClock() {
  std::string base = TimeServerBase();
  if (base.empty()) return -1;
  GlobalInit();
  CURL* curl = curl_easy_init();
  if (!curl) return -1;
  TimeReply reply;
  std::string url = base + "/speed/";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Kestrane");
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // A result record waits for this answer; a dead host must not hold it for minutes.
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(g_connectMs.load()));
  IdleWatch watch;
  WatchIdle(curl, &watch);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CaptureDate);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
  curl_slist* headers = curl_slist_append(nullptr, "Accept:* ");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  if (rc != CURLE_OK || status != 200 || reply.date.empty()) return -1;
  time_t t = curl_getdate(reply.date.c_str(), nullptr);
  return t;
}

}  // namespace

std::string GetServerTime(const char* format) {
  time_t t = ServerClock();
  if (t < 0) t = time(nullptr);
  tm local{};
  localtime_r(&t, &local);
  char buf[256];
  snprintf(buf, sizeof buf, format, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
           local.tm_hour, local.tm_min, local.tm_sec);
  return buf;
}

namespace transport {

void SetTextTimeoutsForTest(int connectMs, int ioMs) {
  g_connectMs = connectMs > 0 ? connectMs : kTextConnectTimeoutMs;
  g_ioMs = ioMs > 0 ? ioMs : kTextIoTimeoutMs;
}

bool ParseUrl(const std::string& url, UrlParts* parts) {
  *parts = UrlParts{};
  size_t sep = url.find("://");
  if (sep == std::string::npos || sep == 0) return false;
  for (size_t i = 0; i < sep; ++i) {
    char c = url[i];
    if (!isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    parts->scheme += static_cast<char>(tolower(static_cast<unsigned char>(c)));
  }
  size_t start = sep + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string authority =
      url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  std::string portText;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    parts->host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return false;
      portText = authority.substr(close + 2);
    }
  } else {
    size_t colon = authority.find(':');
    parts->host = authority.substr(0, colon);
    if (colon != std::string::npos) portText = authority.substr(colon + 1);
  }
  if (parts->host.empty()) return false;
  parts->port = parts->scheme == "https" ? 443 : 80;
  if (!portText.empty()) {
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
      return false;
    int port = std::stoi(portText);
    if (port <= 0 || port > 65535) return false;
    parts->port = port;
    parts->explicitPort = true;
  }
  parts->object = end == std::string::npos ? "/" : url.substr(end);
  size_t hash = parts->object.find('#');
  if (hash != std::string::npos) parts->object.erase(hash);
  if (parts->object.empty() || parts->object[0] != '/') parts->object.insert(0, "/");
  return true;
}

int64_t TickMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool Resolve(const std::string& host, int port, int timeoutMs, const Watch& watch, Endpoint* to) {
  auto first = [port](const std::string& name, int flags, Endpoint* out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (getaddrinfo(name.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res)
      return false;
    bool ok = res->ai_addrlen <= sizeof out->address;
    if (ok) {
      memcpy(&out->address, res->ai_addr, res->ai_addrlen);
      out->length = res->ai_addrlen;
    }
    freeaddrinfo(res);
    return ok;
  };
  if (first(host, AI_NUMERICHOST, to)) return true;

  // getaddrinfo cannot be bounded or stopped, so it runs on a thread of its own that a caller
  // who stops waiting leaves behind.
  struct Lookup {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    bool ok = false;
    Endpoint found;
  };
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host, first] {
      Endpoint found;
      bool ok = first(host, 0, &found);
      std::lock_guard<std::mutex> guard(lookup->lock);
      lookup->ok = ok;
      lookup->found = found;
      lookup->done = true;
      lookup->ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  const int64_t deadline = TickMs() + timeoutMs;
  std::unique_lock<std::mutex> guard(lookup->lock);
  for (;;) {
    if (lookup->done) {
      if (lookup->ok) *to = lookup->found;
      return lookup->ok;
    }
    int64_t left = deadline - TickMs();
    if (left <= 0 || watch.Stopped()) return false;
    lookup->ended.wait_for(guard, std::chrono::milliseconds(std::min<int64_t>(left, kWakeMs)));
  }
}

int Connect(const Endpoint& to, int connectTimeoutMs, const Watch& watch) {
  if (to.length == 0 || watch.Stopped()) return -1;
  int fd = socket(to.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int rc = connect(fd, reinterpret_cast<const sockaddr*>(&to.address), to.length);
  if (rc != 0 && errno != EINPROGRESS) {
    close(fd);
    return -1;
  }
  if (rc != 0) {
    int64_t deadline = TickMs() + connectTimeoutMs;
    for (;;) {
      if (watch.Stopped()) {
        close(fd);
        return -1;
      }
      int64_t left = deadline - TickMs();
      if (left <= 0) {
        close(fd);
        return -1;
      }
      pollfd p{fd, POLLOUT, 0};
      int r = poll(&p, 1, static_cast<int>(std::min<int64_t>(left, kWakeMs)));
      if (r < 0 && errno != EINTR) {
        close(fd);
        return -1;
      }
      if (r > 0) break;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
      close(fd);
      return -1;
    }
  }
  // Blocking from here on, waking every kWakeMs to look at the watch.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  timeval wake{0, kWakeMs * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wake, sizeof wake);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

bool SendAll(int fd, const char* data, size_t size, const Watch& watch) {
  int64_t deadline = -1;
  while (size > 0) {
    if (watch.Stopped()) return false;
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      watch.Progress(0);
      // A peer that takes nothing for this long is gone.
      int64_t now = TickMs();
      if (deadline < 0) deadline = now + kSendTimeoutMs;
      if (now >= deadline) return false;
      continue;
    }
    deadline = -1;
    data += n;
    size -= static_cast<size_t>(n);
    watch.Progress(static_cast<size_t>(n));
  }
  return true;
}

long Receive(int fd, char* buffer, size_t size, int timeoutMs, const Watch& watch) {
  // The socket wakes us every kWakeMs (SO_RCVTIMEO set by Connect), so a flowing transfer
  // costs one recv per piece and a quiet one still sees the stop promptly.
  int64_t deadline = -1;
  for (;;) {
    if (watch.Stopped()) return -2;
    ssize_t n = recv(fd, buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    watch.Progress(0);
    int64_t now = TickMs();
    if (deadline < 0) deadline = now + timeoutMs - kWakeMs;
    if (now >= deadline) return -1;
  }
}

bool ReadHead(int fd, std::string* head, int timeoutMs, const Watch& watch) {
  head->clear();
  char c;
  while (head->size() < 1024) {
    long n = Receive(fd, &c, 1, timeoutMs, watch);
    if (n == -2) return false;  // a head cut by a stop is no head to act on
    if (n <= 0) break;
    head->push_back(c);
    if (head->size() >= 4 && head->compare(head->size() - 4, 4, "\r\n\r\n") == 0) break;
  }
  return !head->empty();
}

bool ReadStatusLine(int fd, std::string* line, int timeoutMs, const Watch& watch) {
  line->clear();
  char c;
  while (line->size() < 1024) {
    long n = Receive(fd, &c, 1, timeoutMs, watch);
    if (n <= 0) return false;
    line->push_back(c);
    if (c == '\n') return true;
  }
  return false;
}

int HeadStatus(const std::string& head) {
  // "HTTP/" version SP three digits, the first 1-9, then SP, CR or the end.
  if (head.compare(0, 5, "HTTP/") != 0) return 0;
  size_t sp = head.find(' ');
  size_t eol = head.find("\r\n");
  if (sp == std::string::npos || sp == 5 || (eol != std::string::npos && sp > eol)) return 0;
  if (head.size() < sp + 4) return 0;
  int status = 0;
  for (size_t i = sp + 1; i < sp + 4; ++i) {
    if (!isdigit(static_cast<unsigned char>(head[i]))) return 0;
    status = status * 10 + (head[i] - '0');
  }
  if (status < 100) return 0;
  if (head.size() > sp + 4 && head[sp + 4] != ' ' && head[sp + 4] != '\r') return 0;
  return status;
}

std::string HeadValue(const std::string& head, const std::string& name) {
  size_t pos = 0;
  while ((pos = head.find("\r\n", pos)) != std::string::npos) {
    pos += 2;
    if (head.size() - pos > name.size() &&
        strncasecmp(head.c_str() + pos, name.c_str(), name.size()) == 0 &&
        head[pos + name.size()] == ':') {
      size_t v = pos + name.size() + 1;
      size_t end = head.find("\r\n", v);
      std::string value = head.substr(v, end == std::string::npos ? std::string::npos : end - v);
      size_t b = value.find_first_not_of(" \t");
      return b == std::string::npos ? "" : value.substr(b);
    }
  }
  return "";
}

int64_t HeadNumber(const std::string& head, const std::string& name) {
  std::string v = HeadValue(head, name);
  if (v.empty() || !isdigit(static_cast<unsigned char>(v[0]))) return -1;
  int64_t n = 0;
  for (char c : v) {
    if (!isdigit(static_cast<unsigned char>(c))) break;
    if (n > (INT64_MAX - 9) / 10) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace transport
