#include "core/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "core/c_format.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace {

std::string FormatV(const char* format, va_list args) { return cformat::FormatV(format, args); }

}  // namespace

void LogFile::Open(std::string_view name) {
  std::lock_guard lock(m_lock);
  // A file already open is closed first, also when the new name is refused.
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  m_path.clear();
  if (name.size() < 4) return;
  m_path = paths::Join(platform::ProgramFolder(), name);
  m_fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  m_maxSize = kMaxSize;
}

void LogFile::OpenDaily(std::string_view pattern) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const std::string name = cformat::Time(std::string(pattern).c_str(), tm);
  if (name.empty()) return;
  Open(name);
}

void LogFile::Write(const char* format, ...) {
  // Whether a file is open is decided under the lock, by WriteText: another thread may be
  // closing it right now.
  va_list args;
  va_start(args, format);
  std::string message = FormatV(format, args);
  va_end(args);
  WriteText(message);
}

void LogFile::WriteText(std::string_view message) {
  std::lock_guard lock(m_lock);
  if (m_fd < 0) return;
  struct stat st {};
  if (::fstat(m_fd, &st) == 0 && st.st_size > m_maxSize) {
    // The daily file has grown past its limit: empty it and carry on from the start.
    if (::ftruncate(m_fd, 0) != 0) return;
  }
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[80];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d,", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string line = stamp;
  line += codepage::Utf8ToGbk(codepage::CutToGbkBytes(message, kMaxMessageBytes));
  line += '\n';
  // One write per line: with O_APPEND the line lands whole at the end, also when other
  // threads and processes append to the same file.
  ssize_t n;
  do {
    n = ::write(m_fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
}

void LogFile::Close() {
  std::lock_guard lock(m_lock);
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

namespace logs {

void Write(const char* pattern, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = FormatV(format, args);
  va_end(args);
  WriteText(pattern, message);
}

void WriteText(const char* pattern, std::string_view message) {
  LogFile log;
  log.OpenDaily(pattern);
  log.WriteText(message);
  log.Close();
}

}  // namespace logs
