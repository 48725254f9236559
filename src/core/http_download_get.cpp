#include "core/http_download_get.h"

#include <linux/sockios.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/properties_file.h"
#include "platform/paths.h"

namespace {

// Close the socket or file however a receiver or sender ends.
struct SocketCloser {
  int fd;
  ~SocketCloser() { close(fd); }
};
struct FileCloser {
  FILE* f;
  ~FileCloser() { fclose(f); }
};

std::atomic<int64_t> g_downloadTotal{0};
std::atomic<int64_t> g_downloadLength{0};
std::atomic<bool> g_downloadStop{false};
std::atomic<int64_t> g_uploadTotal{0};
std::atomic<bool> g_uploadStop{false};
std::mutex g_downloadBusy;
std::mutex g_uploadBusy;
std::atomic<int> g_downloadMs{CHttpDownloadGet::kDownloadDurationMs};
std::atomic<int> g_uploadMs{CHttpDownloadGet::kUploadDurationMs};

bool RunStatePermits() { return CDataBase::Instance().RunStatePermits(); }

// Worker threads that a supervisor replaces as they end. Each slot's thread marks itself
// done; the supervisor waits a bounded time for any watched slot to end and restarts those
// that have.
class WorkerSlots {
 public:
  explicit WorkerSlots(std::function<void()> work) : m_work(std::move(work)) {}
  ~WorkerSlots() { JoinAll(); }

  void Start(size_t count) {
    m_slots.resize(count);
    for (size_t i = 0; i < count; ++i) Launch(i);
  }

  // Waits up to `ms` for any of the first `watched` slots to end, then starts a new worker in
  // the place of each that has ended. A connection that ends is replaced at once, not when the
  // supervisor's turn comes round to it: the line must not wait for the client.
  void WaitAndReplace(size_t watched, int ms) {
    watched = std::min(watched, m_slots.size());
    auto anyDone = [&] {
      for (size_t i = 0; i < watched; ++i)
        if (m_slots[i].done) return true;
      return false;
    };
    std::vector<size_t> ended;
    {
      std::unique_lock<std::mutex> lock(m_lock);
      m_changed.wait_for(lock, std::chrono::milliseconds(ms), anyDone);
      for (size_t i = 0; i < watched; ++i)
        if (m_slots[i].done) ended.push_back(i);
    }
    for (size_t i : ended) {
      if (m_slots[i].thread.joinable()) m_slots[i].thread.join();
      Launch(i);
    }
  }

  size_t Count() const { return m_slots.size(); }

  void JoinAll() {
    for (auto& s : m_slots)
      if (s.thread.joinable()) s.thread.join();
  }

 private:
  struct Slot {
    std::thread thread;
    bool done = false;
  };

  void Launch(size_t i) {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_slots[i].done = false;
    }
    m_slots[i].thread = std::thread([this, i] {
      m_work();
      std::lock_guard<std::mutex> lock(m_lock);
      m_slots[i].done = true;
      m_changed.notify_all();
    });
  }

  std::function<void()> m_work;
  std::vector<Slot> m_slots;
  std::mutex m_lock;
  std::condition_variable m_changed;
};

// Replaces ended workers until `durationMs` has passed since `start`, or the run state stops
// the transfer. Both are looked at before each wait of at most kSupervisorWaitMs, so that the
// transfer ends within one wait of either. Only the first five slots are watched.
void Supervise(WorkerSlots& slots, int64_t start, int durationMs) {
  auto left = [&] { return durationMs - (transport::TickMs() - start); };
  const size_t watched = std::min<size_t>(slots.Count(), 5);
  for (;;) {
    if (!RunStatePermits() || left() <= 0) return;
    int wait = static_cast<int>(std::min<int64_t>(left(), CHttpDownloadGet::kSupervisorWaitMs));
    if (watched == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    else
      slots.WaitAndReplace(watched, wait);
  }
}

// The one look-up of a transfer, bounded by the connect time-out; none when it fails.
bool ResolveOnce(const transport::UrlParts& url, const transport::Watch& watch,
                 transport::Endpoint* to) {
  return transport::Resolve(url.host, url.port, CHttpDownloadGet::kConnectTimeoutMs, watch, to);
}

const transport::Watch& DownloadWatch() {
  static const transport::Watch watch{[] { return g_downloadStop.load() || !RunStatePermits(); },
                                      {}};
  return watch;
}

void Receiver(const transport::UrlParts& url, const transport::Endpoint& to) {
  const transport::Watch& watch = DownloadWatch();
  int fd = transport::Connect(to, CHttpDownloadGet::kReceiveTimeoutMs, watch);
  if (fd < 0) return;
  SocketCloser closer{fd};
  const std::string lines[] = {
      "GET " + url.object + " HTTP/1.1\r\n",
      "Accept: */*\r\n",
      "Accept-Encoding: gzip, deflate\r\n",
      "Connection: Keep-Alive\r\n",
      "Host: " + url.host + "\r\n",
      "Cache-Control: no-cache\r\n",
      "Pragma: no-cache\r\n",
      "\r\n",
  };
  for (const auto& line : lines)
    if (!transport::SendAll(fd, line, watch)) return;
  std::string head;
  if (!transport::ReadHead(fd, &head, CHttpDownloadGet::kReceiveTimeoutMs, watch)) return;
  // Only the status line decides "not found": a "404" inside a length or a date does not.
  int status = transport::HeadStatus(head);
  if (status < 200 || status > 299) return;
  int64_t length = transport::HeadNumber(head, "Content-Length");
  if (length < 0) length = 0;
  g_downloadLength = length;
  if (length == 0) return;
  std::unique_ptr<char[]> buffer(new char[CHttpDownloadGet::kPieceBytes]);
  int64_t own = 0;
  while (!g_downloadStop && RunStatePermits()) {
    long n = transport::Receive(fd, buffer.get(), CHttpDownloadGet::kPieceBytes,
                                CHttpDownloadGet::kReceiveTimeoutMs, watch);
    if (n <= 0) return;
    g_downloadTotal += n;
    own += n;
    if (own >= length) return;
  }
}

std::string HostHeader(const transport::UrlParts& url) {
  std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  return url.explicitPort && url.port != 80 ? host + ":" + std::to_string(url.port) : host;
}

bool Stopped() { return g_uploadStop || !RunStatePermits(); }

// A sender's connection. It counts into the upload total the file bytes the peer has
// acknowledged: the growth of (bytes written - bytes still queued, SIOCOUTQ), within the
// ranges of the stream that carry file bytes. Counting what the socket took instead would run
// ahead of the line by the socket buffers. A connection closed with bytes still queued is
// reset, so that an abandoned request stops loading the line at once.
class SenderConnection {
 public:
  explicit SenderConnection(int fd)
      : m_fd(fd), m_watch{Stopped, [this](size_t moved) { Moved(moved); }} {}
  ~SenderConnection() {
    Update();
    int queued = 0, unsent = 0;
    if (ioctl(m_fd, SIOCOUTQ, &queued) == 0 && queued > 0) {
      // The bytes already on their way arrive ahead of the reset and count; the unsent
      // ones never leave.
      if (ioctl(m_fd, SIOCOUTQNSD, &unsent) == 0) Count(m_written - unsent);
      linger reset{1, 0};
      setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    close(m_fd);
  }
  SenderConnection(const SenderConnection&) = delete;
  SenderConnection& operator=(const SenderConnection&) = delete;

  int Fd() const { return m_fd; }
  const transport::Watch& Watch() const { return m_watch; }

  // Sends `size` bytes, counted as file bytes when `payload` is set.
  bool Send(const char* data, size_t size, bool payload) {
    if (payload) m_payload.push_back({m_queued, m_queued + static_cast<int64_t>(size)});
    m_queued += static_cast<int64_t>(size);
    return transport::SendAll(m_fd, data, size, m_watch);
  }
  bool Send(const std::string& text) { return Send(text.data(), text.size(), false); }

  void Update() {
    int queued = 0;
    if (ioctl(m_fd, SIOCOUTQ, &queued) == 0) Count(m_written - queued);
  }

 private:
  struct Range {
    int64_t begin, end;  // stream offsets
  };

  // Adds the file bytes of the stream up to `acked` not yet counted.
  void Count(int64_t acked) {
    if (acked <= m_acked) return;
    int64_t add = 0;
    while (!m_payload.empty()) {
      const Range& r = m_payload.front();
      int64_t from = std::max(r.begin, m_acked), to = std::min(r.end, acked);
      if (to > from) add += to - from;
      if (r.end > acked) break;
      m_payload.pop_front();
    }
    m_acked = acked;
    if (add > 0) g_uploadTotal += add;
  }

  void Moved(size_t moved) {
    m_written += static_cast<int64_t>(moved);
    Update();
  }

  int m_fd;
  transport::Watch m_watch;
  std::deque<Range> m_payload;  // file bytes written but not yet acknowledged
  int64_t m_queued = 0;         // bytes handed to Send
  int64_t m_written = 0;        // bytes the socket took
  int64_t m_acked = 0;          // bytes the peer acknowledged, as last seen
};

const transport::Watch& UploadWatch() {
  static const transport::Watch watch{Stopped, {}};
  return watch;
}

// "m1": the whole file as one multipart request per connection, in pieces. The reply's status
// line is awaited (the body is not read), so that a connection ends when the server has
// taken the request, not when the socket buffers have.
void WholeFileSender(const transport::UrlParts& url, const transport::Endpoint& to,
                     const std::string& path, const std::string& preamble,
                     const std::string& trailer) {
  FILE* file = fopen(paths::Native(path).c_str(), "rb");
  if (!file) return;
  FileCloser fileCloser{file};
  fseeko(file, 0, SEEK_END);
  int64_t fileLength = ftello(file);
  fseeko(file, 0, SEEK_SET);
  if (fileLength < 0) return;
  int fd = transport::Connect(to, CHttpDownloadGet::kConnectTimeoutMs, UploadWatch());
  if (fd < 0) return;
  SenderConnection connection(fd);
  int64_t total =
      static_cast<int64_t>(preamble.size()) + fileLength + static_cast<int64_t>(trailer.size());
  std::string head =
      "POST " + url.object + " HTTP/1.1\r\n" +
      "Content-Type: multipart/form-data; boundary=" + CHttpDownloadGet::kBoundary + "\r\n" +
      "Accept-Encoding: gzip, deflate\r\n" + CHttpDownloadGet::kUploadAgentLine + "\r\n" +
      "Cache-Control: no-cache\r\n" + "Pragma: no-cache\r\n" + "Connection: Keep-Alive\r\n" +
      "Host: " + HostHeader(url) + "\r\n" + "Content-Length: " + std::to_string(total) + "\r\n\r\n";
  if (!connection.Send(head) || !connection.Send(preamble)) return;
  std::unique_ptr<char[]> buffer(new char[CHttpDownloadGet::kPieceBytes]);
  for (;;) {
    size_t n = fread(buffer.get(), 1, CHttpDownloadGet::kPieceBytes, file);
    if (n == 0) break;
    if (Stopped()) return;  // the request is abandoned
    if (!connection.Send(buffer.get(), n, true)) return;
  }
  if (!connection.Send(trailer)) return;
  std::string status;
  transport::ReadStatusLine(fd, &status, CHttpDownloadGet::kReceiveTimeoutMs, connection.Watch());
}

// "m2": the file's first 32768 bytes posted again and again over one kept connection.
void ChunkRepeater(const transport::UrlParts& url, const transport::Endpoint& to,
                   const std::string& path) {
  FILE* file = fopen(paths::Native(path).c_str(), "rb");
  if (!file) return;
  FileCloser fileCloser{file};
  int fd = transport::Connect(to, CHttpDownloadGet::kConnectTimeoutMs, UploadWatch());
  if (fd < 0) return;
  SenderConnection connection(fd);
  std::vector<char> chunk(CHttpDownloadGet::kChunkBytes);
  const std::string headStart =
      "POST " + url.object + " HTTP/1.1\r\n" +
      "Content-Type: application/x-www-form-urlencoded\r\n" + "Accept-Encoding: gzip, deflate\r\n" +
      CHttpDownloadGet::kUploadAgentLine + "\r\n" + "Cache-Control: no-cache\r\n" +
      "Pragma: no-cache\r\n" + "Connection: Keep-Alive\r\n" + "Host: " + HostHeader(url) + "\r\n";
  char sink[4096];
  for (;;) {
    fseeko(file, 0, SEEK_SET);
    size_t n = fread(chunk.data(), 1, chunk.size(), file);
    if (n == 0) return;
    if (Stopped()) return;
    std::string head = headStart + "Content-Length: " + std::to_string(n) + "\r\n\r\n";
    if (!connection.Send(head) || !connection.Send(chunk.data(), n, true)) return;
    // The answer must be taken off the connection before the next request goes on it.
    std::string reply;
    if (!transport::ReadHead(fd, &reply, CHttpDownloadGet::kReceiveTimeoutMs, connection.Watch()))
      return;
    connection.Update();
    int64_t left = transport::HeadNumber(reply, "Content-Length");
    if (left < 0 || transport::HeadStatus(reply) == 0) return;
    while (left > 0) {
      long got =
          transport::Receive(fd, sink, static_cast<size_t>(std::min<int64_t>(left, sizeof sink)),
                             CHttpDownloadGet::kReceiveTimeoutMs, connection.Watch());
      if (got <= 0) return;
      left -= got;
    }
    if (strcasecmp(transport::HeadValue(reply, "Connection").c_str(), "close") == 0) return;
  }
}

}  // namespace

std::atomic<int64_t>& CHttpDownloadGet::DownloadTotal() { return g_downloadTotal; }
std::atomic<int64_t>& CHttpDownloadGet::DownloadContentLength() { return g_downloadLength; }
std::atomic<int64_t>& CHttpDownloadGet::UploadTotal() { return g_uploadTotal; }

void CHttpDownloadGet::SetDurationsForTest(int downloadMs, int uploadMs) {
  g_downloadMs = downloadMs > 0 ? downloadMs : kDownloadDurationMs;
  g_uploadMs = uploadMs > 0 ? uploadMs : kUploadDurationMs;
}

int CHttpDownloadGet::DownloadDurationMs() { return g_downloadMs; }
int CHttpDownloadGet::UploadDurationMs() { return g_uploadMs; }

bool CHttpDownloadGet::Download(const std::string& url, int threads, std::atomic<int64_t>** total) {
  std::unique_lock<std::mutex> busy(g_downloadBusy, std::try_to_lock);
  if (!busy.owns_lock()) return false;
  g_downloadTotal = 0;
  g_downloadStop = false;
  g_downloadLength = 0;
  if (total) *total = &g_downloadTotal;
  transport::UrlParts parts;
  if (!transport::ParseUrl(url, &parts)) return false;

  const int64_t start = transport::TickMs();
  transport::Endpoint to;
  size_t count =
      ResolveOnce(parts, DownloadWatch(), &to) ? static_cast<size_t>(std::max(threads, 0)) : 0;
  WorkerSlots slots([parts, to] { Receiver(parts, to); });
  slots.Start(count);
  Supervise(slots, start, g_downloadMs);
  g_downloadStop = true;
  slots.JoinAll();
  return true;
}

bool CHttpDownloadGet::Upload(const std::string& url, const std::string& localFile, int threads,
                              std::atomic<int64_t>** total) {
  std::unique_lock<std::mutex> busy(g_uploadBusy, std::try_to_lock);
  if (!busy.owns_lock()) return false;
  g_uploadTotal = 0;
  g_uploadStop = false;
  if (total) *total = &g_uploadTotal;
  transport::UrlParts parts;
  if (!transport::ParseUrl(url, &parts)) return false;

  std::string name = paths::FileName(localFile);
  std::string boundary = kBoundary;
  std::string preamble = "--" + boundary +
                         "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + name +
                         "\"\r\n\r\n";
  std::string trailer = "\r\n--" + boundary + "--\r\n";
  bool wholeFile = conf::UploadMethod() == "m1";

  const int64_t start = transport::TickMs();
  transport::Endpoint to;
  size_t count =
      ResolveOnce(parts, UploadWatch(), &to) ? static_cast<size_t>(std::max(threads, 0)) : 0;
  WorkerSlots slots([=] {
    if (wholeFile)
      WholeFileSender(parts, to, localFile, preamble, trailer);
    else
      ChunkRepeater(parts, to, localFile);
  });
  slots.Start(count);
  Supervise(slots, start, g_uploadMs);
  g_uploadStop = true;
  slots.JoinAll();
  return true;
}
