#pragma once

// A small HTTP/1.1 server for the lab. It works at the socket level on purpose: the lab must
// record every request byte for byte (request line and headers in the order they came) and
// must be able to misbehave precisely (stall or close after a given number of body bytes,
// answer without a length, throttle), which general HTTP libraries hide.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lab {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct Request {
  std::string method;
  std::string target;   // as sent: path and query
  std::string path;     // decoded, without the query
  std::string query;    // raw, after "?"
  std::string version;  // "HTTP/1.1"
  HeaderList headers;   // in arrival order, names as sent
  std::map<std::string, std::string> params;  // query, plus an url-encoded form body
  std::string body;     // kept up to kMaxKeptBody bytes; the rest is only counted
  int64_t bodyLength = 0;  // bytes of body received
  std::string peer;        // "address:port"
  int connection = 0;      // connection number on this server (1, 2, ...)

  // Case-insensitive; empty when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
  std::string Param(const std::string& name, const std::string& fallback = "") const;

  static constexpr size_t kMaxKeptBody = 1 << 20;
};

struct Response {
  int status = 200;
  HeaderList headers;  // sent in this order; Content-Length is added unless the body is open-ended
  std::string body;
  // A generated body of `generatedLength` bytes (a fixed byte pattern) instead of `body`.
  int64_t generatedLength = -1;
  // A body read from this file instead of `body`.
  std::string filePath;
  // Close the connection after this response.
  bool close = false;

  void Set(const std::string& name, const std::string& value);
  static Response Text(int status, std::string body, const std::string& type = "text/plain");
};

// Per-path misbehaviour. Each switch is independent; they combine.
struct Fault {
  int status = 0;            // answer this status instead (404, 500, ...) with a short body
  bool noLength = false;     // no Content-Length; the body ends when the connection closes
  bool html = false;         // Content-Type: text/html
  int64_t stallAfter = -1;   // send the head and this many body bytes, then send nothing more
  bool stallHead = false;    // read the request, then answer nothing at all
  int64_t stallBody = -1;    // read this many request body bytes, then read nothing more
  int64_t closeAfter = -1;   // send the head and this many body bytes, then close
  int64_t rate = 0;          // body bytes per second (0: unlimited)
  int delayMs = 0;           // wait before answering
  int64_t fromRequest = 0;   // the fault starts at this request of the path (0, 1: the first)

  // "404", "status=500", "nolength", "html", "stall=N", "stallhead", "stallbody=N",
  // "close=N", "rate=BPS", "delay=MS", "from=N", comma separated. Returns false on a word it
  // does not know.
  static bool Parse(const std::string& text, Fault* fault, std::string* error);
  std::string Describe() const;
};

// What the server received and sent. Counters cover every connection; the request log keeps
// the latest kMaxLoggedRequests requests.
struct RequestRecord {
  int index = 0;
  int connection = 0;
  std::string head;          // raw request line and header lines, CRLF included
  std::string contentType;
  int64_t declaredLength = -1;
  int64_t bodyReceived = 0;  // grows while the body arrives
  int64_t payload = 0;       // multipart: file bytes (framing excluded); else = bodyReceived
  bool complete = false;
  int status = 0;
  int64_t bodySent = 0;
};

struct Stats {
  int64_t connections = 0;
  int64_t requests = 0;
  int64_t bytesReceived = 0;  // every byte read from clients, heads included
  int64_t bodyBytes = 0;      // request body bytes
  int64_t payloadBytes = 0;   // multipart file bytes, plain bodies whole
  int64_t bytesSent = 0;      // every byte written, heads included
  int64_t bodySent = 0;       // response body bytes
  int64_t active = 0;         // connections open now
};

class HttpServer {
 public:
  using Handler = std::function<Response(const Request&)>;

  explicit HttpServer(std::string name);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Routes: exact path, or a prefix ending in "/*". The method "*" matches every method.
  // Later routes do not override earlier ones; the first match wins.
  void Route(const std::string& method, const std::string& path, Handler handler);

  // Faults for a path ("*" for every path). Replaces what was set for that path.
  void SetFault(const std::string& path, const Fault& fault);
  void ClearFaults();
  std::vector<std::pair<std::string, Fault>> Faults() const;

  // Binds and starts the accept thread. Port 0 picks a free one.
  bool Start(const std::string& address, int port, std::string* error);
  void Stop();

  const std::string& Name() const { return m_name; }
  const std::string& Address() const { return m_address; }
  int Port() const { return m_port; }
  std::string Url() const;

  Stats GetStats() const;
  std::vector<RequestRecord> Requests() const;
  void ResetRecords();

  static constexpr size_t kMaxLoggedRequests = 4000;
  static constexpr size_t kMaxHeadBytes = 65536;

 private:
  struct Route_ {
    std::string method;
    std::string path;
    bool prefix;
    Handler handler;
  };
  struct Connection;

  void AcceptLoop();
  void Serve(int fd, std::string peer);
  bool ServeOne(Connection& c);
  bool SendResponse(Connection& c, const Request& req, Response res, RequestRecord* rec);
  Response Dispatch(const Request& req) const;
  Fault FaultFor(const std::string& path) const;
  // The fault of the next answer on a path, counting it: none before its "from" request.
  Fault FaultForAnswer(const std::string& path);
  std::shared_ptr<RequestRecord> NewRecord(int connection, const std::string& head);
  void AddReceived(int64_t n);
  void AddSent(int64_t n, int64_t body);

  std::string m_name;
  std::string m_address;
  int m_port = 0;
  int m_listenFd = -1;
  std::thread m_acceptThread;
  std::atomic<bool> m_stopping{false};

  mutable std::mutex m_routeLock;
  std::vector<Route_> m_routes;
  std::map<std::string, Fault> m_faults;
  std::map<std::string, int64_t> m_pathRequests;  // answers begun per path, for "from=N"

  mutable std::mutex m_recordLock;
  std::deque<std::shared_ptr<RequestRecord>> m_records;
  int m_nextIndex = 1;
  std::atomic<int> m_nextConnection{1};
  std::atomic<int64_t> m_connections{0}, m_requests{0}, m_bytesReceived{0}, m_bodyBytes{0},
      m_payloadBytes{0}, m_bytesSent{0}, m_bodySent{0}, m_active{0};

  std::mutex m_threadLock;
  std::vector<int> m_openFds;
};

// The fixed byte pattern of generated bodies: byte i of a body is Pattern()[i % kPatternSize].
constexpr size_t kPatternSize = 1 << 18;
const char* Pattern();

std::string UrlDecode(const std::string& text, bool plusIsSpace = true);
std::map<std::string, std::string> ParseQuery(const std::string& text);

}  // namespace lab
