#include "updater/http_get_to_file.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/log_file.h"
#include "platform/paths.h"
#include "update_client/update_process.h"

namespace updater {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

class Socket {
 public:
  ~Socket() {
    if (fd >= 0) ::close(fd);
  }
  int fd = -1;
};

// Connects within the bound; the socket is left blocking.
bool Connect(Socket& s, const UrlParts& url, int timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string port = std::to_string(url.port);
  if (getaddrinfo(url.host.c_str(), port.c_str(), &hints, &list) != 0 || !list) return false;
  // The first address of the host, as a host entry gives it.
  s.fd = ::socket(list->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  bool ok = s.fd >= 0;
  if (ok && ::connect(s.fd, list->ai_addr, list->ai_addrlen) != 0) {
    ok = errno == EINPROGRESS;
    if (ok) {
      pollfd p{s.fd, POLLOUT, 0};
      int err = 0;
      socklen_t len = sizeof err;
      ok = ::poll(&p, 1, timeoutMs) == 1 &&
           getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
  }
  freeaddrinfo(list);
  if (ok) ok = ::fcntl(s.fd, F_SETFL, ::fcntl(s.fd, F_GETFL) & ~O_NONBLOCK) == 0;
  return ok;
}

void SetReceiveTimeout(int fd, int ms) {
  ms = std::max(ms, 1);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

ssize_t Receive(int fd, char* buf, size_t size) {
  for (;;) {
    ssize_t n = ::recv(fd, buf, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

// The status of "HTTP/1.x NNN ...", or 0.
int StatusOf(const std::string& head) {
  if (head.compare(0, 5, "HTTP/") != 0) return 0;
  size_t sp = head.find(' ');
  if (sp == std::string::npos || sp > 12 || head.size() < sp + 4) return 0;
  int code = 0;
  for (size_t i = sp + 1; i < sp + 4; ++i) {
    if (head[i] < '0' || head[i] > '9') return 0;
    code = code * 10 + (head[i] - '0');
  }
  return code;
}

// The number after the first "Content-Length:" up to the line end, or -1.
int64_t LengthOf(const std::string& head) {
  size_t at = head.find("Content-Length:");
  if (at == std::string::npos) return -1;
  size_t end = head.find("\r\n", at);
  std::string value =
      head.substr(at + 15, end == std::string::npos ? std::string::npos : end - at - 15);
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  int64_t n = 0;
  size_t digits = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i, ++digits) {
    if (n > (INT64_MAX - 9) / 10) return -1;
    n = n * 10 + (value[i] - '0');
  }
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  return digits == 0 || i != value.size() ? -1 : n;
}

void Log(const std::string& url, const char* what) {
  logs::Write(logs::kDebug, "Update: %s failed: %s", url.c_str(), what);
}

}  // namespace

void ParseResponseHead(const std::string& head, int* status, int64_t* length) {
  *status = StatusOf(head);
  *length = LengthOf(head);
}

bool IsCleanUrl(const std::string& url) {
  return !url.empty() && std::none_of(url.begin(), url.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7f;
  });
}

bool SplitUrl(const std::string& url, UrlParts* parts) {
  *parts = {};
  if (!IsCleanUrl(url)) return false;
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) return false;
  size_t hostStart = scheme + 3;
  size_t slash = url.find('/', hostStart);
  if (slash == std::string::npos) return false;
  std::string host = url.substr(hostStart, slash - hostStart);
  size_t colon = host.find(':');
  if (colon != std::string::npos) {
    std::string port = host.substr(colon + 1);
    host.resize(colon);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    parts->port = std::atoi(port.c_str());
    if (parts->port < 1 || parts->port > 65535) return false;
  }
  if (host.empty()) return false;
  parts->host = host;
  parts->target = url.substr(slash);
  return true;
}

std::string RequestFor(const UrlParts& parts) {
  return "GET " + parts.target +
         " HTTP/1.1\r\nAccept: */*\r\nConnection: Keep-Alive\r\nHost: " + parts.host +
         "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
}

bool HttpGetToFile(const std::string& url, const std::string& path, int64_t maxBytes,
                   const UpdateTiming& timing) {
  const std::string file = paths::Native(path);
  // Whatever fails, no file is left under the name: an old copy would pass for the new one.
  auto fail = [&](const char* what) {
    ::unlink(file.c_str());
    Log(url, what);
    return false;
  };
  if (!MakeDirsForPath(file)) return fail("folder");
  UrlParts parts;
  if (!SplitUrl(url, &parts)) return fail("address");
  const std::string request = RequestFor(parts);
  // The request has always fitted a 1024-byte buffer; a longer one is refused, not cut.
  if (request.size() >= 1024) return fail("address too long");

  auto deadline = Clock::now() + std::chrono::milliseconds(timing.transferBaseMs);
  Socket s;
  if (!Connect(s, parts, std::min(RemainingMs(deadline), timing.receiveTimeoutMs)))
    return fail("connect");
  SetReceiveTimeout(s.fd, std::min(RemainingMs(deadline), timing.receiveTimeoutMs));
  if (!SendAll(s.fd, request)) return fail("send");

  // The head, a byte at a time so that no body byte is taken with it.
  std::string head;
  while (head.size() < 1024 &&
         !(head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0)) {
    char c;
    if (Receive(s.fd, &c, 1) != 1) break;
    head.push_back(c);
  }
  if (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0)
    return fail("response head");
  int status = 0;
  int64_t length = -1;
  ParseResponseHead(head, &status, &length);
  if (status < 200 || status > 299) {
    logs::Write(logs::kDebug, "Update: %s: status %d", url.c_str(), status);
    return fail("status");
  }
  if (length <= 0 || length > maxBytes) {
    logs::Write(logs::kDebug, "Update: %s: length %lld", url.c_str(),
                static_cast<long long>(length));
    return fail("length");
  }
  deadline +=
      std::chrono::milliseconds(static_cast<int64_t>(timing.msPer64KiB) * (length / 65536 + 1));

  int out = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return fail("open file");
  std::vector<char> buf(65536);
  int64_t total = 0;
  const char* failure = nullptr;
  while (total < length && !failure) {
    int left = RemainingMs(deadline);
    if (left == 0) {
      failure = "time";
      break;
    }
    SetReceiveTimeout(s.fd, std::min(left, timing.receiveTimeoutMs));
    size_t want =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf.size()), length - total));
    ssize_t n = Receive(s.fd, buf.data(), want);
    if (n == 0) failure = "short body";
    if (n < 0) failure = errno == EAGAIN || errno == EWOULDBLOCK ? "receive time-out" : "receive";
    for (ssize_t done = 0; n > 0 && done < n && !failure;) {
      ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        failure = "write";
      else
        done += w;
    }
    if (n > 0) total += n;
  }
  if (!failure && ::fsync(out) != 0) failure = "write";
  if (::close(out) != 0 && !failure) failure = "write";
  if (failure) return fail(failure);
  return true;
}

}  // namespace updater
