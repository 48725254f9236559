#include "auto/client_address.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>

#include "auto/network_status_binding.h"
#include "core/data_base.h"
#include "core/log_file.h"
#include "core/properties_file.h"

namespace {

constexpr int kFirstHops = 5;
constexpr int kSecondHops = 10;

// Reads "a.b.c.d" as four decimal bytes.
bool ParseDotted(const std::string& text, unsigned (&bytes)[4]) {
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
    size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
      value = value * 10 + static_cast<unsigned>(text[pos++] - '0');
    if (pos == start || value > 255) return false;
    bytes[i] = value;
  }
  return pos == text.size();
}

std::string SecondWord(const std::string& line) {
  std::istringstream words(line);
  std::string word;
  words >> word;
  word.clear();
  words >> word;
  return word;
}

// Both traces; `stopped` is asked before the second one.
template <typename Stopped>
std::string FindClientAddress(const std::string& libraryPath, const std::string& host, Stopped stopped) {
  for (int hops : {kFirstHops, kSecondHops}) {
    if (stopped()) break;
    netstatus::TraceResult trace = netstatus::Tracert(libraryPath, host, hops);
    std::string address = PickClientAddress(trace.lines, trace.destination);
    if (!address.empty()) return address;
  }
  return {};
}

std::string ProbeHost() {
  std::string host = conf::Read(conf::kConfig, kAddressProbeHostKey);
  return host == "null" ? std::string() : host;
}

// Lives for the whole process and is never destroyed, so the detached task can still look at it
// while the process exits.
struct TaskState {
  std::mutex mutex;
  std::condition_variable ended;
  bool running = false;
  bool exiting = false;
};

TaskState& State() {
  static TaskState* state = new TaskState;
  return *state;
}

void MarkExiting() {
  TaskState& state = State();
  std::lock_guard lock(state.mutex);
  state.exiting = true;
}

}  // namespace

bool IsPrivateAddress(const std::string& address) {
  unsigned b[4];
  if (!ParseDotted(address, b)) return false;
  return b[0] == 10 || (b[0] == 172 && b[1] >= 16 && b[1] <= 31) || (b[0] == 192 && b[1] == 168);
}

std::string PickClientAddress(const std::vector<std::string>& hopLines, const std::string& destination) {
  for (const std::string& line : hopLines) {
    std::string word = SecondWord(line);
    unsigned b[4];
    // A word that is no address at all (a broken line) is passed over like a silent hop.
    if (word.empty() || word == "*" || !ParseDotted(word, b)) continue;
    if (IsPrivateAddress(word) || word == destination) continue;
    return word;
  }
  return {};
}

bool DiscoverClientAddress() {
  std::string host = ProbeHost();
  if (host.empty()) {
    logs::Write(logs::kMain, "no %s configured: client address not probed", kAddressProbeHostKey);
    return false;
  }
  std::string address = FindClientAddress(netstatus::LibraryPath(), host, [] { return false; });
  if (address.empty()) {
    logs::Write(logs::kMain, "client address not found by tracing %s", host.c_str());
    return false;
  }
  CDataBase::Instance().SetClientAddress(address);
  logs::Write(logs::kMain, "client address %s", address.c_str());
  return true;
}

void StartAddressTask() {
  TaskState& state = State();
  {
    std::lock_guard lock(state.mutex);
    if (state.running || state.exiting) return;
    state.running = true;
  }
  // Registered after the session data exists, so it runs before that is destroyed at exit; from
  // then on the task leaves every shared object alone.
  CDataBase::Instance();
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(MarkExiting); });

  // Everything the task needs from shared objects is taken now, on the starting thread.
  std::string host = ProbeHost();
  std::string libraryPath = netstatus::LibraryPath();
  std::thread([host, libraryPath] {
    TaskState& state = State();
    auto exiting = [&state] {
      std::lock_guard lock(state.mutex);
      return state.exiting;
    };
    std::string address = host.empty() ? std::string() : FindClientAddress(libraryPath, host, exiting);
    std::lock_guard lock(state.mutex);
    if (!state.exiting) {
      if (!address.empty()) CDataBase::Instance().SetClientAddress(address);
      CDataBase::Instance().clientAddressSettled = true;
      if (host.empty())
        logs::Write(logs::kMain, "no %s configured: client address not probed", kAddressProbeHostKey);
      else if (address.empty())
        logs::Write(logs::kMain, "client address not found by tracing %s", host.c_str());
      else
        logs::Write(logs::kMain, "client address %s", address.c_str());
    }
    state.running = false;
    state.ended.notify_all();
  }).detach();
}

bool WaitForAddressTask(std::chrono::milliseconds timeout) {
  TaskState& state = State();
  std::unique_lock lock(state.mutex);
  return state.ended.wait_for(lock, timeout, [&state] { return !state.running; });
}
