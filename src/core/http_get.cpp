#include "core/http_get.h"

#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "core/data_base.h"
#include "core/http_transport.h"

namespace {

std::atomic<int64_t> g_fetchTotal{0};
std::mutex g_fetchBusy;

struct Socket {
  int fd = -1;
  ~Socket() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

bool SendRequest(int fd, const transport::UrlParts& url, const transport::Watch& watch) {
  const std::string lines[] = {
      "GET " + url.object + " HTTP/1.1\r\n",
      "Accept: */*\r\n",
      "Cache-Control: no-cache\r\n",
      "Connection: Keep-Alive\r\n",
      "Host: " + url.host + "\r\n",
      "Pragma: no-cache\r\n",
      "\r\n",
  };
  for (const auto& line : lines)
    if (!transport::SendAll(fd, line, watch)) return false;
  return true;
}

// The accept rules: a 2xx status, no "text/html", more than a million bytes announced.
bool Acceptable(const std::string& head, int64_t* length) {
  int status = transport::HeadStatus(head);
  if (status < 200 || status > 299) return false;
  if (transport::HeadValue(head, "Content-Type").find("text/html") != std::string::npos)
    return false;
  *length = transport::HeadNumber(head, "Content-Length");
  return *length > CHttpGet::kMinContentLength;
}

}  // namespace

std::atomic<int64_t>& CHttpGet::FetchTotal() { return g_fetchTotal; }

bool CHttpGet::Fetch(const std::string& url, int timeoutSeconds, int64_t* connectMs, int64_t* loadMs,
                     int64_t* contentLength, std::atomic<int64_t>** total) {
  FetchWatch watch;
  const bool ok = Fetch(url, timeoutSeconds, connectMs, loadMs, contentLength, &watch);
  if (total) *total = watch.total.load();
  return ok;
}

bool CHttpGet::Fetch(const std::string& url, int timeoutSeconds, int64_t* connectMs, int64_t* loadMs,
                     int64_t* contentLength, FetchWatch* watch) {
  *connectMs = 0;
  *loadMs = 0;
  *contentLength = 0;
  std::unique_lock<std::mutex> busy(g_fetchBusy, std::try_to_lock);
  if (!busy.owns_lock()) return false;
  g_fetchTotal = 0;
  if (watch) watch->total.store(&g_fetchTotal);
  // A control character has no place in an address; it would also end up in a record.
  for (unsigned char c : url)
    if (c < 0x20 || c == 0x7f) return false;
  transport::UrlParts parts;
  if (!transport::ParseUrl(url, &parts)) return false;

  // Probe. The name is looked up once, for the probe and the receiver.
  const transport::Watch probeWatch{[] { return !CDataBase::Instance().RunStatePermits(); }, {}};
  int64_t tick = transport::TickMs();
  transport::Endpoint to;
  if (!transport::Resolve(parts.host, parts.port, kConnectTimeoutMs, probeWatch, &to)) return false;
  Socket probe;
  probe.fd = transport::Connect(to, kConnectTimeoutMs, probeWatch);
  if (probe.fd < 0) return false;
  *connectMs = transport::TickMs() - tick;
  std::string head;
  if (!SendRequest(probe.fd, parts, probeWatch) ||
      !transport::ReadHead(probe.fd, &head, kReceiveTimeoutMs, probeWatch))
    return false;
  int64_t length = 0;
  if (!Acceptable(head, &length)) return false;
  probe.Close();
  if (watch) {
    watch->connectMs.store(*connectMs);
    watch->contentLength.store(length);
  }

  // Timed transfer. Its reply is judged like the probe's: a server may accept the probe and
  // refuse the transfer.
  tick = transport::TickMs();
  std::atomic<bool> stop{false};
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  std::thread receiver([&] {
    const transport::Watch watch{
        [&] { return stop.load() || !CDataBase::Instance().RunStatePermits(); }, {}};
    Socket s;
    s.fd = transport::Connect(to, kConnectTimeoutMs, watch);
    std::string replyHead;
    int64_t replyLength = 0;
    if (s.fd >= 0 && SendRequest(s.fd, parts, watch) &&
        transport::ReadHead(s.fd, &replyHead, kReceiveTimeoutMs, watch) &&
        Acceptable(replyHead, &replyLength)) {
      std::unique_ptr<char[]> buffer(new char[kPieceBytes]);
      int64_t own = 0;
      while (CDataBase::Instance().RunStatePermits()) {
        long n = transport::Receive(s.fd, buffer.get(), kPieceBytes, kReceiveTimeoutMs, watch);
        if (n <= 0) break;
        g_fetchTotal += n;
        own += n;
        if (stop || own >= length) break;
      }
    }
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    ended.notify_all();
  });
  {
    std::unique_lock<std::mutex> guard(lock);
    if (timeoutSeconds < 0)
      ended.wait(guard, [&] { return done; });
    else
      ended.wait_for(guard, std::chrono::seconds(timeoutSeconds), [&] { return done; });
  }
  stop = true;
  *loadMs = transport::TickMs() - tick;
  receiver.join();
  *contentLength = length;
  // A transfer that brought nothing is no result; one cut after some bytes still counts.
  return g_fetchTotal.load() > 0;
}
