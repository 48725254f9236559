#include "core/c_format.h"

#include <locale.h>

#include <clocale>
#include <cstdio>

namespace cformat {
namespace {

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

}  // namespace

// uselocale changes the calling thread only; other threads keep formatting as they did.
Scope::Scope() : m_previous(CLocale() ? uselocale(CLocale()) : nullptr) {}

Scope::~Scope() {
  if (m_previous) uselocale(static_cast<locale_t>(m_previous));
}

std::string FormatV(const char* format, va_list args) {
  Scope c;
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = FormatV(format, args);
  va_end(args);
  return out;
}

std::string Time(const char* format, const std::tm& tm) {
  Scope c;
  char text[256];
  const size_t n = std::strftime(text, sizeof text, format, &tm);
  return std::string(text, n);
}

}  // namespace cformat
