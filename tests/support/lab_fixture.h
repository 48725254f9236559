#pragma once

// Runs <build>/dist/kestrane-lab for a test and talks to its control endpoint.
//
//   LabProcess lab({"--test", "--time", "--time-status=302"});   // every role on a free port
//   ASSERT_TRUE(lab.Started()) << lab.Error();
//   std::string url = lab.Url("test", "/speed/1MB.txt");          // "http://127.0.0.1:PORT/..."
//   lab.SetFault("test", "/speed/1MB.txt", "close=1000");         // see kestrane-lab --help
//   ... run the code under test ...
//   EXPECT_EQ(lab.Stats("test").bodySent, total);
//   for (const LabRequest& r : lab.Requests("test")) ... r.requestLine, r.headers (in order)
//
// A role given an explicit --ROLE-port (e.g. "--test-addr=127.0.0.3", "--test-port=8080") keeps
// it; all others take free ports. The lab is stopped by the destructor, and also dies with the
// thread that created the fixture, so a crashed test leaves no server behind.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct LabStats {
  int64_t connections = 0;
  int64_t requests = 0;
  int64_t bytesReceived = 0;  // every byte the role read, request heads included
  int64_t bodyBytes = 0;      // request body bytes
  int64_t payloadBytes = 0;   // multipart file bytes (framing excluded); plain bodies whole
  int64_t bytesSent = 0;
  int64_t bodySent = 0;       // response body bytes
  int64_t active = 0;         // connections open now
  std::map<std::string, std::string> all;  // every line of the stats, the role's own included
};

struct LabRequest {
  int index = 0;
  int connection = 0;  // requests on one connection share the number
  int status = 0;      // status answered (0 when no answer was sent yet)
  int64_t declaredLength = -1;
  int64_t bodyReceived = 0;
  int64_t payload = 0;
  int64_t bodySent = 0;
  bool complete = false;  // the whole declared body arrived
  std::string head;       // raw request line and header lines, CRLFs included
  std::string requestLine;  // without CRLF
  std::string method, target;
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order

  std::string Header(const std::string& name) const;  // case-insensitive, "" when absent
};

class LabProcess {
 public:
  explicit LabProcess(std::vector<std::string> flags,
                      std::chrono::milliseconds startTimeout = std::chrono::seconds(10));
  ~LabProcess();
  LabProcess(const LabProcess&) = delete;
  LabProcess& operator=(const LabProcess&) = delete;

  bool Started() const { return m_started; }
  const std::string& Error() const { return m_error; }

  // "http://ADDR:PORT" + path of a role; empty when the role is not running.
  std::string Url(const std::string& role, const std::string& path = "") const;
  int Port(const std::string& role) const;
  std::string Address(const std::string& role) const;
  std::string ControlUrl() const { return m_controlUrl; }

  // GET on the control endpoint ("/lab/test/stats"); true on status 200.
  bool Control(const std::string& pathAndQuery, std::string* body = nullptr) const;

  LabStats Stats(const std::string& role) const;
  // Polls the role's stats until `condition` holds, at most `timeout`.
  bool WaitUntil(const std::string& role, const std::function<bool(const LabStats&)>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Waits until the role has no open connection, so its counts are final.
  bool WaitIdle(const std::string& role, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return WaitUntil(role, [](const LabStats& s) { return s.active == 0; }, timeout);
  }
  std::vector<LabRequest> Requests(const std::string& role, int fromIndex = 0) const;
  bool Reset(const std::string& role) const;
  bool SetFault(const std::string& role, const std::string& path, const std::string& spec) const;
  bool ClearFaults(const std::string& role) const;
  bool Set(const std::string& role, const std::string& name, const std::string& value) const;

  void Stop();
  pid_t Pid() const { return m_pid; }

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  bool m_started = false;
  std::string m_error;
  std::string m_controlUrl;
  std::map<std::string, std::string> m_roleUrls;
};

// Percent-encodes a query value.
std::string LabEscape(const std::string& text);

// Starts the lab on a fixed address and port. The previous test's server on the same port may
// take a moment to let go of it, so a failed start is retried for a short while.
std::unique_ptr<LabProcess> StartLabOnFixedPort(const std::vector<std::string>& flags);

// Writes the lab's accounts file with one account in Beijing on telecom ("bj" / "bj123", user
// id 20001) and returns its path.
std::string WriteBeijingTelecomAccounts(const std::string& path);

// Points "video_host_<site>" of a program folder's conf/config.properties at the lab's video
// role ("<video role URL>/<site>"); the file must exist.
void PointVideoHostsAtLab(const std::string& folder, const LabProcess& lab);

// Fills a test program folder for a whole run of kestrane-cli against the lab: the shipped
// settings and databases, a one-server catalogue whose Beijing telecom server is `serverAddress`,
// a 1 MiB upload file, and the properties pointing at the lab's management and time roles (and
// its video sites, when that role runs).
// `extraDistFiles` are further files copied from the build's program folder.
void PrepareLabProgramFolder(const std::string& folder, const LabProcess& lab,
                             const std::string& serverAddress,
                             const std::vector<std::string>& extraDistFiles = {});
