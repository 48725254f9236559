#pragma once

// Text requests over HTTP (libcurl) and the small pieces the socket clients share: URL
// splitting, connecting, sending and reading a response head.

#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Codes of the text requests.
inline constexpr int kHttpDone = 0;     // request made; the text may be empty
inline constexpr int kHttpFailure = 1;  // bad URL, no connection, or a network error
inline constexpr int kHttpTimeout = 2;  // the server did not answer in time

// The browser agent of the text requests and of the bandwidth engine's session.
inline constexpr const char* kBrowserAgent =
    "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)";

// A session owned by the caller of HttpPostForm: its agent and a connection that is kept
// between requests. One thread uses a session at a time.
class HttpSession {
 public:
  explicit HttpSession(std::string agent = kBrowserAgent);
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  const std::string& Agent() const { return m_agent; }

 private:
  friend int HttpPostForm(HttpSession&, const std::string&, const std::string&, std::string&);
  std::string m_agent;
  std::mutex m_lock;
  void* m_handle = nullptr;  // CURL*, created at the first request
};

// GET of `url`; `text` receives the body (UTF-8; malformed sequences become "?").
int HttpGetText(const std::string& url, std::string& text);

// POST of the form text `form` through the caller's session. Logs "Post Begin", "Post End",
// "FAILURE", "OUTTIME" to the main log.
int HttpPostForm(HttpSession& session, const std::string& url, const std::string& form,
                 std::string& text);

// The time host's current time (its "Date" on a 200 answer, in local time), else the local
// clock, formatted with `format`, a printf format of six int fields: year, month, day, hour,
// minute, second.
std::string GetServerTime(const char* format);

// The time host: "time_server_url" of the configuration, else the management server
// ("update_server_url" decoded, "web_project_port"). Empty when neither is known.
std::string TimeServerBase();

namespace transport {

struct UrlParts {
  std::string scheme;  // "http", "https", ... lower case
  std::string host;    // without brackets
  int port = 80;       // 80 when none is given (443 for https)
  std::string object;  // path and query, at least "/"
  bool explicitPort = false;
};

// Splits an absolute URL. False when it has no scheme or host, or a bad port.
bool ParseUrl(const std::string& url, UrlParts* parts);

// Time-outs of the text requests (connect, and no data moving), in ms.
inline constexpr int kTextConnectTimeoutMs = 5000;
inline constexpr int kTextIoTimeoutMs = 5000;
// Test hook: shorter time-outs (0 restores the defaults).
void SetTextTimeoutsForTest(int connectMs, int ioMs);

// Sockets of Connect wake from a blocked receive or send this often.
inline constexpr int kWakeMs = 100;
// A send that moves nothing for this long fails.
inline constexpr int kSendTimeoutMs = 15000;
// The throughput clients receive and send up to this much per call: small pieces would make
// the client, not the line, the bottleneck on a busy machine.
inline constexpr size_t kPieceBytes = 65536;

// What a blocking socket call watches while it waits. It looks at `stop` before each system
// call and at least every kWakeMs, and calls `progress` after each send that moved bytes (with
// their count) and each time it wakes without progress (with 0).
struct Watch {
  std::function<bool()> stop;
  std::function<void(size_t moved)> progress;

  bool Stopped() const { return stop && stop(); }
  void Progress(size_t moved) const {
    if (progress) progress(moved);
  }
};

// The first address of a host name, for one port.
struct Endpoint {
  sockaddr_storage address{};
  socklen_t length = 0;
};

// Looks `host` up (numeric addresses at once). Gives up after `timeoutMs` or as soon as the
// watch says stop; a look-up left behind finishes on its own thread.
bool Resolve(const std::string& host, int port, int timeoutMs, const Watch& watch, Endpoint* to);

// A TCP connection to `to`, TCP_NODELAY set. Gives up after `connectTimeoutMs` or as soon as
// the watch says stop. -1 on failure.
int Connect(const Endpoint& to, int connectTimeoutMs, const Watch& watch = {});

// send() of the whole text; false on error, on a stop, or when nothing moves for
// kSendTimeoutMs.
bool SendAll(int fd, const char* data, size_t size, const Watch& watch = {});
inline bool SendAll(int fd, const std::string& text, const Watch& watch = {}) {
  return SendAll(fd, text.data(), text.size(), watch);
}

// recv() on a socket of Connect that waits at most `timeoutMs` for data.
// >0 bytes, 0 closed, -1 error or time-out, -2 stopped.
long Receive(int fd, char* buffer, size_t size, int timeoutMs, const Watch& watch = {});

// Reads a response head one byte at a time, up to CR LF CR LF or 1024 bytes, so that no
// body byte is taken. False when the connection failed before any byte came, or on a stop.
bool ReadHead(int fd, std::string* head, int timeoutMs, const Watch& watch = {});

// Reads the status line only (up to LF or 1024 bytes). False when none came whole.
bool ReadStatusLine(int fd, std::string* line, int timeoutMs, const Watch& watch = {});

// The status code of the head's status line ("HTTP/1.1 200 OK" -> 200): three digits, the
// first not 0, after "HTTP/" and a version; 0 when unreadable.
int HeadStatus(const std::string& head);
// The decimal value of a header (name matched without regard to case); -1 when absent.
int64_t HeadNumber(const std::string& head, const std::string& name);
// The value of a header up to its CR LF; empty when absent.
std::string HeadValue(const std::string& head, const std::string& name);

// Monotonic milliseconds.
int64_t TickMs();

}  // namespace transport
