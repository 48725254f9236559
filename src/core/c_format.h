#pragma once

#include <cstdarg>
#include <ctime>
#include <string>

// Text for files and peers is formatted in the C locale whatever locale the process runs
// under. The toolkit takes the user's locale at start; "%.2f" would then write "12,50" under a
// comma-decimal locale and "%a %b" month names in the user's language into GBK files.
namespace cformat {

// printf in the C locale.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

// strftime in the C locale; empty when the result does not fit 255 bytes.
std::string Time(const char* format, const std::tm& tm);

// Switches the calling thread to the C locale for its lifetime (for code that formats through
// the C library itself).
class Scope {
 public:
  Scope();
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  void* m_previous;
};

}  // namespace cformat
