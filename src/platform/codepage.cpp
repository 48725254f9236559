#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace codepage {
namespace {

size_t Utf8SeqLen(std::string_view s, size_t i) {
  uint32_t cp;
  return DecodeUtf8(s, i, &cp);
}

class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
    if (m_cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  }
  ~Converter() { iconv_close(m_cd); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts one piece; returns false when it holds something the target cannot take.
  bool Convert(std::string_view in, std::string& out) {
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    std::string buf(in.size() * 4 + 8, '\0');
    char* outPtr = buf.data();
    size_t outLeft = buf.size();
    size_t r = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (r == static_cast<size_t>(-1) || inLeft != 0) return false;
    // Flush any shift state.
    if (iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
    out.append(buf.data(), buf.size() - outLeft);
    return true;
  }

 private:
  iconv_t m_cd;
};

}  // namespace

size_t DecodeUtf8(std::string_view s, size_t i, uint32_t* codePoint) {
  auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    *codePoint = c;
    return 1;
  }
  size_t len;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  *codePoint = cp;
  return len;
}

std::string Utf8ToGbk(std::string_view utf8, size_t* lost) {
  thread_local Converter conv("GBK", "UTF-8");
  std::string out;
  size_t replaced = 0;
  out.reserve(utf8.size());
  // Fast path: the whole text at once; otherwise character by character.
  if (!conv.Convert(utf8, out)) {
    out.clear();
    size_t i = 0;
    while (i < utf8.size()) {
      size_t len = Utf8SeqLen(utf8, i);
      if (len == 0) {
        out.push_back('?');
        ++replaced;
        ++i;
        continue;
      }
      if (len == 1) {
        out.push_back(utf8[i]);
      } else if (!conv.Convert(utf8.substr(i, len), out)) {
        out.push_back('?');
        ++replaced;
      }
      i += len;
    }
  }
  if (lost) *lost = replaced;
  return out;
}

std::string GbkToUtf8(std::string_view gbk, size_t* lost) {
  thread_local Converter conv("UTF-8", "GBK");
  std::string out;
  size_t replaced = 0;
  out.reserve(gbk.size() * 3 / 2);
  if (!conv.Convert(gbk, out)) {
    out.clear();
    size_t i = 0;
    while (i < gbk.size()) {
      auto c = static_cast<unsigned char>(gbk[i]);
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        ++i;
        continue;
      }
      if (i + 1 < gbk.size() && conv.Convert(gbk.substr(i, 2), out)) {
        i += 2;
        continue;
      }
      out.push_back('?');
      ++replaced;
      ++i;
    }
  }
  if (lost) *lost = replaced;
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t len = Utf8SeqLen(text, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string SanitizeUtf8(std::string_view text, size_t* lost) {
  if (lost) *lost = 0;
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t len = Utf8SeqLen(text, i);
    if (len == 0) {
      out.push_back('?');
      if (lost) ++*lost;
      ++i;
    } else {
      out.append(text.substr(i, len));
      i += len;
    }
  }
  return out;
}

std::string CutToGbkBytes(std::string_view utf8, size_t maxBytes) {
  size_t bytes = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    size_t len = Utf8SeqLen(utf8, i);
    size_t gbkLen = 1;
    if (len == 0) {
      len = 1;  // becomes "?"
    } else if (len > 1) {
      gbkLen = Utf8ToGbk(utf8.substr(i, len)).size();
    }
    if (bytes + gbkLen > maxBytes) break;
    bytes += gbkLen;
    i += len;
  }
  return std::string(utf8.substr(0, i));
}

size_t CharCount(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string CutToChars(std::string_view utf8, size_t maxChars) {
  size_t n = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (n == maxChars) return std::string(utf8.substr(0, i));
      ++n;
    }
  }
  return std::string(utf8);
}

}  // namespace codepage
