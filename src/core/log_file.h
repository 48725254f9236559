#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

// One short-lived log file: open, write a line or a few, close. Lines are
// "YYYY-MM-DD hh:mm:ss,<message>\n" in GBK; a message is cut to 255 GBK bytes.
class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // `name` is relative to the program folder, or absolute (leading "/" or "X:"). A file already
  // open on this object is closed first; then names shorter than 4 characters are ignored.
  void Open(std::string_view name);

  // Opens the file named by applying strftime to `pattern` at the current local time.
  void OpenDaily(std::string_view pattern);

  // printf-style; does nothing when no file is open. The message is UTF-8.
  void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void WriteText(std::string_view message);

  void Close();

  bool IsOpen() const { return m_fd >= 0; }
  const std::string& Path() const { return m_path; }

  static constexpr long kMaxSize = 1048576;
  static constexpr size_t kMaxMessageBytes = 255;

 private:
  std::mutex m_lock;
  std::string m_path;
  std::atomic<int> m_fd{-1};  // changed under m_lock; IsOpen reads it without
  long m_maxSize = kMaxSize;
};

// Log families under the program folder (strftime patterns).
namespace logs {
inline constexpr const char* kMain = "log\\%Y-%m-%d.log";
inline constexpr const char* kManual = "log\\%Y-%m-%dManual.log";
inline constexpr const char* kFlash = "log\\%Y-%m-%dFlash.log";
inline constexpr const char* kUpdateThread = "log\\%Y-%m-%dUpdateThread.log";
inline constexpr const char* kDebug = "log\\%Y-%m-%ddebug.log";
inline constexpr const char* kAudit = "log\\%Y-%m-%dAudit.log";
inline constexpr const char* kTracePingWebsite = "log\\trace_ping_website.log";
inline constexpr const char* kTracePingDestIp = "log\\trace_ping_destip.log";

// Opens the family's file, writes one line, closes it.
void Write(const char* pattern, const char* format, ...) __attribute__((format(printf, 2, 3)));
void WriteText(const char* pattern, std::string_view message);
}  // namespace logs
