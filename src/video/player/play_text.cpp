#include "video/player/play_text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace videoplayer {

ParsedRequest ParseRequest(const std::string& text) {
  ParsedRequest out;
  const std::string nameMark = "name=\"";
  const size_t invoke = text.find("<invoke");
  if (invoke == std::string::npos) return out;
  const size_t at = text.find(nameMark, invoke);
  if (at == std::string::npos) return out;
  const size_t nameStart = at + nameMark.size();
  const size_t nameEnd = text.find('"', nameStart);
  if (nameEnd == std::string::npos) return out;
  const std::string name = text.substr(nameStart, nameEnd - nameStart);
  RequestKind kind = RequestKind::Unknown;
  if (name == "videoStartPaly")
    kind = RequestKind::Start;
  else if (name == "autoVideoStartPaly")
    kind = RequestKind::AutoStart;
  else if (name == "videoStopPaly")
    kind = RequestKind::Stop;
  else
    return out;
  const size_t open = text.find("<string>", nameEnd);
  if (open == std::string::npos) return out;
  const size_t argStart = open + 8;
  const size_t close = text.find("</string>", argStart);
  if (close == std::string::npos) return out;
  out.kind = kind;
  out.argument = DecodeXmlText(text.substr(argStart, close - argStart));
  return out;
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string DecodeXmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    const size_t semi = text.find(';', i);
    if (semi == std::string::npos || semi - i > 10) {
      out += text[i++];
      continue;
    }
    const std::string entity = text.substr(i + 1, semi - i - 1);
    if (entity == "amp") {
      out += '&';
    } else if (entity == "lt") {
      out += '<';
    } else if (entity == "gt") {
      out += '>';
    } else if (entity == "quot") {
      out += '"';
    } else if (entity == "apos") {
      out += '\'';
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string digits = entity.substr(hex ? 2 : 1);
      char* end = nullptr;
      const unsigned long cp =
          digits.empty() ? 0 : std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
      if (digits.empty() || *end || cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out += text[i++];
        continue;
      }
      AppendUtf8(out, static_cast<uint32_t>(cp));
    } else {
      out += text[i++];
      continue;
    }
    i = semi + 1;
  }
  return out;
}

std::string EscapeXmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string InvokeText(const std::string& name, const std::string& argument) {
  return "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments><string>" +
         EscapeXmlText(argument) + "</string></arguments></invoke>";
}

void SecondBins::Add(double secondsSinceFirstByte, int64_t bytes) {
  const size_t bin = static_cast<size_t>(std::max(0.0, secondsSinceFirstByte));
  if (bin >= m_bins.size()) m_bins.resize(bin + 1, 0);
  m_bins[bin] += bytes;
  m_total += bytes;
}

double SecondBins::MaxRate(double transferSeconds) const {
  if (m_total == 0) return 0;
  if (transferSeconds < 1.0) return transferSeconds > 0 ? m_total / transferSeconds : m_total;
  // Only whole seconds count: the last one is whole only when the transfer ended on its edge.
  const size_t whole = std::min(m_bins.size(), static_cast<size_t>(transferSeconds));
  int64_t best = 0;
  for (size_t i = 0; i < whole; ++i) best = std::max(best, m_bins[i]);
  return static_cast<double>(best);
}

namespace {

// Independent of the process locale: the host program may have set one with a decimal comma.
std::string Fixed(double value, int decimals) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(buf, end) : "0";
}

}  // namespace

std::string ResultFields(const PlayFigures& f) {
  return Fixed(f.maxRate / 1024.0, 1) + "#" + Fixed(f.loadingSeconds, 2) + "#" +
         std::to_string(f.totalBytes / 1024) + "#" + Fixed(f.averageRate / 1024.0, 1) + "#" +
         std::to_string(f.loadedBytes / 1024) + "#" + Fixed(f.totalSeconds, 2) + "#" +
         (f.completed ? "true" : "false");
}

}  // namespace videoplayer
