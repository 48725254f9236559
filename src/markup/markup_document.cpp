#include "markup/markup_document.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace {

constexpr size_t npos = std::string::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':' || u >= 0x80;
}

bool IsNameChar(char c) {
  return !IsSpace(c) && c != '/' && c != '>' && c != '<' && c != '=' && c != '"' && c != '\'' &&
         c != '\0';
}

bool StartsWith(std::string_view s, size_t at, std::string_view what) {
  return s.size() >= at + what.size() && s.compare(at, what.size(), what) == 0;
}

bool StartsWithNoCase(std::string_view s, size_t at, std::string_view what) {
  if (s.size() < at + what.size()) return false;
  for (size_t k = 0; k < what.size(); ++k) {
    char a = s[at + k], b = what[k];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

using codepage::DecodeUtf8;

// Keeps well-formed UTF-8; every malformed byte becomes "?".
std::string CleanUtf8(std::string_view s, size_t* lost) { return codepage::SanitizeUtf8(s, lost); }

std::string Utf16ToUtf8(const std::vector<uint16_t>& units, size_t* lost) {
  std::string out;
  out.reserve(units.size() * 2);
  size_t bad = 0;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out.push_back('?');
      ++bad;
    } else {
      AppendUtf8(out, u);
    }
  }
  *lost = bad;
  return out;
}

std::string Utf8ToUtf16(std::string_view s, bool bigEndian, size_t* lost) {
  std::string out;
  out.reserve(s.size() * 2 + 2);
  size_t bad = 0;
  auto put = [&](uint32_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    if (bigEndian) {
      out.push_back(hi);
      out.push_back(lo);
    } else {
      out.push_back(lo);
      out.push_back(hi);
    }
  };
  put(0xFEFF);
  for (size_t i = 0; i < s.size();) {
    uint32_t cp;
    size_t len = DecodeUtf8(s, i, &cp);
    if (len == 0) {
      put('?');
      ++bad;
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
    i += len;
  }
  *lost = bad;
  return out;
}

// UTF-8 -> any encoding iconv knows, character by character where a whole run fails; an
// unrepresentable character becomes "?". False when iconv does not know the encoding.
bool Utf8ToOther(std::string_view s, const std::string& encoding, std::string* out, size_t* lost) {
  iconv_t cd = iconv_open(encoding.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  auto convert = [&](std::string_view in, std::string& to) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(in.data());
    size_t il = in.size();
    std::string buf(in.size() * 4 + 16, '\0');
    char* op = buf.data();
    size_t ol = buf.size();
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0) return false;
    if (iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1)) return false;
    to.append(buf.data(), buf.size() - ol);
    return true;
  };
  size_t bad = 0;
  out->clear();
  if (!convert(s, *out)) {
    out->clear();
    for (size_t i = 0; i < s.size();) {
      uint32_t cp;
      size_t len = DecodeUtf8(s, i, &cp);
      if (len == 0) len = 1;
      if (!convert(s.substr(i, len), *out)) {
        out->push_back('?');
        ++bad;
      }
      i += len;
    }
  }
  iconv_close(cd);
  *lost = bad;
  return true;
}

// Canonical spelling of the encodings handled without iconv.
std::string NormalizeEncoding(std::string_view name) {
  std::string u = Upper(name);
  if (u == "UTF-8" || u == "UTF8") return "UTF-8";
  if (u == "UTF-16" || u == "UTF-16LE" || u == "UNICODE" || u == "UCS-2") return "UTF-16LE";
  if (u == "UTF-16BE" || u == "UNICODEFFFE") return "UTF-16BE";
  if (u == "GBK" || u == "GB2312" || u == "CP936" || u == "X-GBK" || u == "ANSI") return "GBK";
  return u;
}

// The UTF-8 test walk: lead bytes by their 0x20/0x10/0x08 bits, a sequence cut off by the end
// of the data allowed. Following bytes must be 0x80-0xBF: taking any byte of 0x80 or above, as
// the walk once did, passes most GBK text ("中" is D6 D0) as UTF-8 and turns it into "?".
bool LooksLikeUtf8(std::string_view s, bool* nonAscii) {
  *nonAscii = false;
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c == 0) break;
    if (c < 0x80) {
      ++i;
      continue;
    }
    *nonAscii = true;
    size_t follow;
    if (!(c & 0x20))
      follow = 1;
    else if (!(c & 0x10))
      follow = 2;
    else if (!(c & 0x08))
      follow = 3;
    else
      return false;
    for (size_t k = 1; k <= follow; ++k) {
      if (i + k >= s.size()) return true;  // cut off at the end
      auto f = static_cast<unsigned char>(s[i + k]);
      if (f < 0x80 || f > 0xBF) return false;
    }
    // The lead-byte walk admits overlong forms and stray continuation bytes as leads; only
    // sequences a UTF-8 decoder accepts count.
    uint32_t cp;
    if (DecodeUtf8(s, i, &cp) != 1 + follow) return false;
    i += 1 + follow;
  }
  return true;
}

std::string EncodeWithQuote(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size() + 8);
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
      case '"':
        if (quote == '"')
          out += "&quot;";
        else
          out.push_back(c);
        break;
      case '\'':
        if (quote == '\'')
          out += "&apos;";
        else
          out.push_back(c);
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

MarkupDocument::MarkupDocument() { Parse(); }

bool MarkupDocument::ParseText(const char* text) {
  return ParseText(text ? std::string_view(text) : std::string_view());
}

bool MarkupDocument::ParseText(std::string_view text) {
  m_text.assign(text.data() ? text : std::string_view());
  m_report.clear();
  Parse();
  return m_elements[0].firstChild != 0;
}

void MarkupDocument::AddReport(std::string name, std::string value, int64_t count) {
  m_report.push_back(ReportItem{std::move(name), std::move(value), count});
}

void MarkupDocument::Problem(const char* name, size_t offset) {
  for (auto& item : m_report) {
    if (item.name == name) {
      ++item.count;
      return;
    }
  }
  AddReport(name, "at " + std::to_string(offset), 1);
}

bool MarkupDocument::ReportHas(std::string_view name) const { return ReportFind(name) != nullptr; }

const MarkupDocument::ReportItem* MarkupDocument::ReportFind(std::string_view name) const {
  for (const auto& item : m_report)
    if (item.name == name) return &item;
  return nullptr;
}

std::string MarkupDocument::ReportText() const {
  std::string out;
  for (const auto& item : m_report) {
    if (!out.empty()) out += "; ";
    out += item.name;
    out += '=';
    if (!item.value.empty()) out += item.value + "/";
    out += std::to_string(item.count);
  }
  return out;
}

int MarkupDocument::NewElement() {
  // Grow by half when full, as the index did on the original platform.
  if (m_elements.size() == m_elements.capacity())
    m_elements.reserve(m_elements.capacity() + m_elements.capacity() / 2 + 1);
  m_elements.emplace_back();
  return static_cast<int>(m_elements.size() - 1);
}

void MarkupDocument::Parse() {
  m_elements.clear();
  m_elements.reserve(m_text.size() / 64 + 8);
  m_parent = m_current = m_child = 0;
  const std::string_view t = m_text;
  const size_t n = t.size();
  {
    Element& doc = m_elements.emplace_back();
    doc.contentEnd = doc.end = n;
    doc.ended = true;
  }
  std::vector<int> open{0};
  // How many open elements bear each name, so an end tag knows at once whether it closes one.
  std::unordered_map<std::string_view, size_t> openNames;
  auto popOpen = [&] {
    --openNames[NameOf(open.back())];
    open.pop_back();
  };

  auto closeCutOff = [&](int idx, size_t at) {
    Problem("unended_start_tag", m_elements[idx].start);
    m_elements[idx].contentEnd = m_elements[idx].end = at;
  };

  size_t i = 0;
  while (true) {
    size_t lt = t.find('<', i);
    if (lt == npos) break;
    if (lt + 1 >= n) {
      Problem("first_tag_syntax", lt);
      break;
    }
    char c = t[lt + 1];
    if (c == '?') {
      size_t e = t.find("?>", lt + 2);
      if (e == npos) {
        Problem("first_tag_syntax", lt);
        break;
      }
      i = e + 2;
      continue;
    }
    if (c == '!') {
      if (StartsWith(t, lt, "<!--")) {
        size_t e = t.find("-->", lt + 4);
        if (e == npos) {
          Problem("comment_tag_syntax", lt);
          break;
        }
        i = e + 3;
      } else if (StartsWith(t, lt, "<![CDATA[")) {
        size_t e = t.find("]]>", lt + 9);
        if (e == npos) {
          Problem("cdata_section_syntax", lt);
          break;
        }
        i = e + 3;
      } else if (StartsWithNoCase(t, lt, "<!DOCTYPE")) {
        // Ends at the first '>' outside quotes and outside an internal subset.
        size_t j = lt + 9;
        int depth = 0;
        char quote = 0;
        for (; j < n; ++j) {
          char d = t[j];
          if (quote) {
            if (d == quote) quote = 0;
          } else if (d == '"' || d == '\'') {
            quote = d;
          } else if (d == '[') {
            ++depth;
          } else if (d == ']') {
            if (depth > 0) --depth;
          } else if (d == '>' && depth == 0) {
            break;
          }
        }
        if (j >= n) {
          Problem("doctype_tag_syntax", lt);
          break;
        }
        i = j + 1;
      } else {
        Problem("exclamation_tag_syntax", lt);
        size_t e = t.find('>', lt + 2);
        if (e == npos) break;
        i = e + 1;
      }
      continue;
    }
    if (c == '/') {
      size_t ns = lt + 2, ne = ns;
      while (ne < n && IsNameChar(t[ne])) ++ne;
      // Only up to the next '<': looking further for a '>' that is never there would scan
      // the rest of the text once per broken end tag.
      size_t gt = t.find_first_of("<>", ne);
      if (gt == npos || t[gt] != '>' || ne == ns) {
        Problem("first_tag_syntax", lt);
        i = lt + 1;
        continue;
      }
      std::string_view name = t.substr(ns, ne - ns);
      auto count = openNames.find(name);
      if (count == openNames.end() || count->second == 0) {
        // Known at once, without walking the open elements for every stray end tag.
        Problem("lone_end_tag", lt);
      } else {
        while (NameOf(open.back()) != name) {
          closeCutOff(open.back(), lt);
          popOpen();
        }
        Element& e = m_elements[open.back()];
        e.contentEnd = lt;
        e.end = gt + 1;
        e.ended = true;
        popOpen();
      }
      i = gt + 1;
      continue;
    }
    if (!IsNameStart(c)) {
      Problem("first_tag_syntax", lt);
      i = lt + 1;
      continue;
    }
    size_t ne = lt + 1;
    while (ne < n && IsNameChar(t[ne])) ++ne;
    // The tag ends at the first '>' outside quotes; a stray '<' or the end of the text first
    // means the tag is broken, and a second try ignores quotes (an unbalanced quote).
    size_t gt = npos;
    {
      char quote = 0;
      for (size_t j = ne; j < n; ++j) {
        char d = t[j];
        if (quote) {
          if (d == quote) quote = 0;
        } else if (d == '"' || d == '\'') {
          quote = d;
        } else if (d == '>') {
          gt = j;
          break;
        } else if (d == '<') {
          break;
        }
      }
      if (gt == npos) {
        for (size_t j = ne; j < n && t[j] != '<'; ++j) {
          if (t[j] == '>') {
            gt = j;
            break;
          }
        }
      }
    }
    if (gt == npos) {
      Problem("first_tag_syntax", lt);
      i = lt + 1;
      continue;
    }
    int parent = open.back();
    int idx = NewElement();
    Element& e = m_elements[idx];
    e.start = lt;
    e.nameLen = ne - lt - 1;
    e.tagEnd = gt + 1;
    e.selfClosed = gt > ne && t[gt - 1] == '/';
    e.parent = parent;
    Element& p = m_elements[parent];
    if (p.lastChild) {
      m_elements[p.lastChild].next = idx;
      m_elements[idx].prev = p.lastChild;
      if (parent == 0) Problem("root_has_sibling", lt);
    } else {
      p.firstChild = idx;
    }
    m_elements[parent].lastChild = idx;
    if (m_elements[idx].selfClosed) {
      m_elements[idx].contentEnd = m_elements[idx].end = gt + 1;
      m_elements[idx].ended = true;
    } else {
      open.push_back(idx);
      ++openNames[NameOf(idx)];
    }
    i = gt + 1;
  }
  while (open.size() > 1) {
    closeCutOff(open.back(), n);
    popOpen();
  }
  if (m_elements[0].firstChild == 0) Problem("no_root_element", 0);
}

std::string_view MarkupDocument::NameOf(int index) const {
  if (index <= 0 || static_cast<size_t>(index) >= m_elements.size()) return {};
  const Element& e = m_elements[index];
  return std::string_view(m_text).substr(e.start + 1, e.nameLen);
}

std::string MarkupDocument::TextOf(int index) const {
  if (index <= 0 || static_cast<size_t>(index) >= m_elements.size()) return {};
  const Element& e = m_elements[index];
  if (e.selfClosed) return {};
  const std::string_view t = m_text;
  const bool hasChildren = e.firstChild != 0;
  std::string out;
  auto segment = [&](size_t from, size_t to) {
    std::string piece;
    size_t i = from;
    while (i < to) {
      size_t lt = t.find('<', i);
      if (lt == npos || lt >= to) lt = to;
      piece += DecodeEntities(t.substr(i, lt - i));
      if (lt >= to) break;
      if (StartsWith(t, lt, "<![CDATA[")) {
        size_t e2 = t.find("]]>", lt + 9);
        if (e2 == npos || e2 + 3 > to) e2 = to;
        piece.append(t.substr(lt + 9, std::min(e2, to) - (lt + 9)));
        i = std::min(e2 + 3, to);
      } else if (StartsWith(t, lt, "<!--")) {
        size_t e2 = t.find("-->", lt + 4);
        i = (e2 == npos || e2 + 3 > to) ? to : e2 + 3;
      } else if (StartsWith(t, lt, "<?")) {
        size_t e2 = t.find("?>", lt + 2);
        i = (e2 == npos || e2 + 2 > to) ? to : e2 + 2;
      } else {
        // Something the parser skipped (a lone end tag, a broken tag): keep it as text.
        piece.push_back('<');
        i = lt + 1;
      }
    }
    if (hasChildren && std::all_of(piece.begin(), piece.end(), [](char ch) { return IsSpace(ch); }))
      return;
    out += piece;
  };
  size_t pos = e.tagEnd;
  for (int c = e.firstChild; c; c = m_elements[c].next) {
    segment(pos, m_elements[c].start);
    pos = m_elements[c].end;
  }
  if (pos < e.contentEnd) segment(pos, e.contentEnd);
  return out;
}

std::vector<MarkupDocument::Span> MarkupDocument::AttributesOf(int index) const {
  std::vector<Span> spans;
  if (index <= 0 || static_cast<size_t>(index) >= m_elements.size()) return spans;
  const Element& e = m_elements[index];
  const std::string_view t = m_text;
  size_t i = e.start + 1 + e.nameLen;
  size_t stop = e.tagEnd - 1;  // the '>'
  if (e.selfClosed) --stop;
  while (i < stop) {
    while (i < stop && IsSpace(t[i])) ++i;
    if (i >= stop) break;
    size_t ns = i;
    while (i < stop && !IsSpace(t[i]) && t[i] != '=') ++i;
    Span s{ns, i - ns, i, 0, 0};
    if (s.nameLen == 0) {  // a stray '=' or quote: skip it
      ++i;
      continue;
    }
    size_t j = i;
    while (j < stop && IsSpace(t[j])) ++j;
    if (j < stop && t[j] == '=') {
      ++j;
      while (j < stop && IsSpace(t[j])) ++j;
      if (j < stop && (t[j] == '"' || t[j] == '\'')) {
        char q = t[j];
        size_t vs = j + 1;
        size_t ve = t.find(q, vs);
        if (ve == npos || ve > stop) ve = stop;
        s.quote = q;
        s.valueStart = vs;
        s.valueLen = ve - vs;
        i = ve < stop ? ve + 1 : stop;
      } else {
        size_t vs = j;
        while (j < stop && !IsSpace(t[j])) ++j;
        s.valueStart = vs;
        s.valueLen = j - vs;
        i = j;
      }
    }
    spans.push_back(s);
  }
  return spans;
}

bool MarkupDocument::FindAttribute(int index, std::string_view name, Span* span) const {
  for (const Span& s : AttributesOf(index)) {
    if (std::string_view(m_text).substr(s.nameStart, s.nameLen) == name) {
      *span = s;
      return true;
    }
  }
  return false;
}

// --- cursor ---

void MarkupDocument::Rewind() {
  m_parent = 0;
  m_current = 0;
  m_child = 0;
}

bool MarkupDocument::FindChild(std::string_view name) {
  int current = m_current;
  int child = m_child;
  if (current == 0) {
    current = m_elements[0].firstChild;
    child = 0;
    if (current == 0) return false;
  }
  for (int c = child ? m_elements[child].next : m_elements[current].firstChild; c;
       c = m_elements[c].next) {
    if (name.empty() || NameOf(c) == name) {
      m_current = current;
      m_parent = m_elements[current].parent;
      m_child = c;
      return true;
    }
  }
  if (m_current == 0) {
    // The root stays current even when it has no such child, so that its own text and
    // attributes can be read.
    m_current = current;
    m_parent = 0;
    m_child = 0;
  }
  return false;
}

bool MarkupDocument::EnterChild() {
  if (m_current == 0 || m_child == 0) return false;
  m_parent = m_current;
  m_current = m_child;
  m_child = 0;
  return true;
}

bool MarkupDocument::LeaveToParent() {
  if (m_parent == 0) return false;
  m_child = m_current;
  m_current = m_parent;
  m_parent = m_elements[m_parent].parent;
  return true;
}

void MarkupDocument::ResetChildPos() { m_child = 0; }

std::string MarkupDocument::CurrentTag() const { return std::string(NameOf(m_current)); }
std::string MarkupDocument::ChildTag() const { return std::string(NameOf(m_child)); }
std::string MarkupDocument::ChildText() const { return TextOf(m_child); }
std::string MarkupDocument::CurrentText() const { return TextOf(m_current); }

std::string MarkupDocument::AttributeValue(std::string_view name) const {
  Span s;
  if (m_current == 0 || !FindAttribute(m_current, name, &s)) return {};
  return DecodeEntities(std::string_view(m_text).substr(s.valueStart, s.valueLen));
}

std::string MarkupDocument::ChildAttribute(std::string_view name) const {
  Span s;
  if (m_child == 0 || !FindAttribute(m_child, name, &s)) return {};
  return DecodeEntities(std::string_view(m_text).substr(s.valueStart, s.valueLen));
}

// --- editing ---

void MarkupDocument::Splice(size_t from, size_t to, std::string_view with, int* keep[3]) {
  // Cursor elements are found again by where their start tags land after the change.
  size_t pos[3];
  for (int k = 0; k < 3; ++k) {
    pos[k] = npos;
    int idx = *keep[k];
    if (idx <= 0) continue;
    size_t s = m_elements[idx].start;
    if (s < from)
      pos[k] = s;
    else if (s >= to)
      pos[k] = s - (to - from) + with.size();
  }
  m_text.replace(from, to - from, with);
  std::vector<ReportItem> report = std::move(m_report);
  m_report.clear();
  Parse();
  m_report = std::move(report);
  for (int k = 0; k < 3; ++k) *keep[k] = IndexAt(pos[k]);
}

int MarkupDocument::IndexAt(size_t start) const {
  if (start == npos || m_elements.size() < 2) return 0;
  auto it = std::lower_bound(m_elements.begin() + 1, m_elements.end(), start,
                             [](const Element& e, size_t s) { return e.start < s; });
  if (it == m_elements.end() || it->start != start) return 0;
  return static_cast<int>(it - m_elements.begin());
}

void MarkupDocument::Replace(size_t from, size_t to, std::string_view with) {
  int parent = m_parent, current = m_current, child = m_child;
  int* keep[3] = {&parent, &current, &child};
  Splice(from, to, with, keep);
  m_parent = parent;
  m_current = current;
  m_child = child;
}

bool MarkupDocument::SetAttributeOf(int index, std::string_view name, std::string_view value) {
  if (index <= 0 || static_cast<size_t>(index) >= m_elements.size() || name.empty()) return false;
  for (char c : name)
    if (!IsNameChar(c)) return false;
  Span s;
  if (FindAttribute(index, name, &s)) {
    if (s.quote) {
      Replace(s.valueStart, s.valueStart + s.valueLen, EncodeWithQuote(value, s.quote));
    } else {
      std::string attr = std::string(name) + "=\"" + EncodeWithQuote(value, '"') + "\"";
      Replace(s.nameStart, s.valueStart + s.valueLen, attr);
    }
    return true;
  }
  const Element& e = m_elements[index];
  size_t at = e.start + 1 + e.nameLen;
  for (const Span& a : AttributesOf(index))
    at = std::max(at, a.valueStart + a.valueLen + (a.quote ? 1 : 0));
  Replace(at, at, " " + std::string(name) + "=\"" + EncodeWithQuote(value, '"') + "\"");
  return true;
}

bool MarkupDocument::SetAttribute(std::string_view name, std::string_view value) {
  return SetAttributeOf(m_current, name, value);
}

bool MarkupDocument::SetAttribute(std::string_view name, int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  return SetAttributeOf(m_current, name, buf);
}

bool MarkupDocument::SetChildAttribute(std::string_view name, std::string_view value) {
  return SetAttributeOf(m_child, name, value);
}

bool MarkupDocument::SetTextOf(int index, std::string_view text) {
  if (index <= 0 || static_cast<size_t>(index) >= m_elements.size()) return false;
  const Element e = m_elements[index];
  std::string name(NameOf(index));
  std::string enc = EncodeText(text);
  if (e.selfClosed) {
    size_t slash = e.tagEnd - 2;  // "/>"
    Replace(slash, e.end, ">" + enc + "</" + name + ">");
  } else if (e.ended) {
    Replace(e.tagEnd, e.contentEnd, enc);
  } else {
    Replace(e.tagEnd, e.contentEnd, enc + "</" + name + ">");
  }
  return true;
}

bool MarkupDocument::SetChildText(std::string_view text) { return SetTextOf(m_child, text); }
bool MarkupDocument::SetCurrentText(std::string_view text) { return SetTextOf(m_current, text); }

std::string MarkupDocument::LineEnd() const { return m_text.find("\r\n") != npos ? "\r\n" : "\n"; }

std::string MarkupDocument::IndentUnit() const {
  // Follow the document's own habit: the first indented line decides tab or spaces.
  size_t nl = m_text.find('\n');
  while (nl != npos && nl + 1 < m_text.size()) {
    char c = m_text[nl + 1];
    if (c == '\t') return "\t";
    if (c == ' ') {
      size_t k = nl + 1;
      while (k < m_text.size() && m_text[k] == ' ') ++k;
      return std::string(std::min<size_t>(k - nl - 1, 8), ' ');
    }
    nl = m_text.find('\n', nl + 1);
  }
  return "\t";
}

std::string MarkupDocument::IndentOf(size_t start) const {
  size_t k = start;
  while (k > 0 && (m_text[k - 1] == ' ' || m_text[k - 1] == '\t')) --k;
  if (k == 0 || m_text[k - 1] == '\n') return m_text.substr(k, start - k);
  return {};
}

bool MarkupDocument::AddChildElement(std::string_view name, std::string_view text,
                                     const Attributes& attributes) {
  if (name.empty() || !IsNameStart(name[0])) return false;
  for (char c : name)
    if (!IsNameChar(c)) return false;
  std::string markup = "<" + std::string(name);
  for (const auto& [key, value] : attributes) {
    if (key.empty()) return false;
    for (char c : key)
      if (!IsNameChar(c)) return false;
    markup += " " + key + "=\"" + EncodeWithQuote(value, '"') + "\"";
  }
  if (text.empty())
    markup += "/>";
  else
    markup += ">" + EncodeText(text) + "</" + std::string(name) + ">";

  const std::string eol = LineEnd();
  if (m_current == 0) {
    int root = m_elements[0].firstChild;
    if (root == 0) {
      // An empty document gets the element as its root, which becomes current.
      std::string add;
      if (!m_text.empty() && m_text.back() != '\n') add = eol;
      add += markup + eol;
      size_t at = m_text.size();
      Replace(at, at, add);
      m_parent = 0;
      m_current = IndexAt(at + add.size() - markup.size() - eol.size());
      m_child = 0;
      return m_current != 0;
    }
    m_parent = 0;
    m_current = root;
    m_child = 0;
  }
  const std::string savedText = m_text;
  const int savedParent = m_parent, savedCurrent = m_current, savedChild = m_child;
  const Element e = m_elements[m_current];
  const std::string indent = IndentOf(e.start);
  const std::string unit = IndentUnit();
  size_t newStart;
  if (e.selfClosed) {
    size_t slash = e.tagEnd - 2;
    std::string with = ">" + eol + indent + unit;
    newStart = slash + with.size();
    with += markup + eol + indent + "</" + std::string(NameOf(m_current)) + ">";
    Replace(slash, e.end, with);
  } else if (e.lastChild) {
    const Element& last = m_elements[e.lastChild];
    size_t ws = last.start;
    while (ws > e.tagEnd && IsSpace(m_text[ws - 1])) --ws;
    std::string sep = m_text.substr(ws, last.start - ws);
    if (sep.find('\n') == npos) sep = eol + indent + unit;
    size_t at = last.end;
    newStart = at + sep.size();
    Replace(at, at, sep + markup);
  } else {
    std::string_view content = std::string_view(m_text).substr(e.tagEnd, e.contentEnd - e.tagEnd);
    if (std::all_of(content.begin(), content.end(), [](char ch) { return IsSpace(ch); })) {
      std::string with = eol + indent + unit;
      newStart = e.tagEnd + with.size();
      with += markup + eol + indent;
      Replace(e.tagEnd, e.contentEnd, with);
    } else {
      newStart = e.contentEnd;
      Replace(newStart, newStart, markup);
    }
  }
  int added = IndexAt(newStart);
  if (added == 0 || m_elements[added].parent != m_current) {
    // The element landed elsewhere (under a child without its end tag): undo.
    m_text = savedText;
    std::vector<ReportItem> report = std::move(m_report);
    Parse();
    m_report = std::move(report);
    m_parent = savedParent;
    m_current = savedCurrent;
    m_child = savedChild;
    return false;
  }
  m_child = added;
  return true;
}

bool MarkupDocument::RemoveChild() {
  if (m_child == 0) return false;
  const Element e = m_elements[m_child];
  int prev = e.prev;
  size_t from = e.start;
  // Take the element's own line with it when it stands alone on it.
  size_t k = from;
  while (k > 0 && (m_text[k - 1] == ' ' || m_text[k - 1] == '\t')) --k;
  if (k > 0 && m_text[k - 1] == '\n') {
    --k;
    if (k > 0 && m_text[k - 1] == '\r') --k;
    from = k;
  }
  m_child = prev;
  Replace(from, e.end, {});
  return true;
}

// --- entities ---

std::string MarkupDocument::DecodeEntities(std::string_view text) {
  if (text.find('&') == npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '&') {
      out.push_back(c);
      continue;
    }
    size_t semi = text.find(';', i + 1);
    if (semi == npos || semi - i > 12) {
      out.push_back(c);
      continue;
    }
    std::string_view ent = text.substr(i + 1, semi - i - 1);
    if (ent == "lt") {
      out.push_back('<');
    } else if (ent == "gt") {
      out.push_back('>');
    } else if (ent == "amp") {
      out.push_back('&');
    } else if (ent == "quot") {
      out.push_back('"');
    } else if (ent == "apos") {
      out.push_back('\'');
    } else if (ent.size() >= 2 && ent[0] == '#') {
      bool hex = ent[1] == 'x' || ent[1] == 'X';
      std::string_view digits = ent.substr(hex ? 2 : 1);
      uint32_t cp = 0;
      bool ok = !digits.empty() && digits.size() <= 8;
      for (char d : digits) {
        int v;
        if (d >= '0' && d <= '9')
          v = d - '0';
        else if (hex && d >= 'a' && d <= 'f')
          v = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F')
          v = d - 'A' + 10;
        else {
          ok = false;
          break;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
        if (cp > 0x10FFFF) {
          ok = false;
          break;
        }
      }
      if (!ok || cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out.push_back(c);
        continue;
      }
      AppendUtf8(out, cp);
    } else {
      out.push_back(c);
      continue;
    }
    i = semi;
  }
  return out;
}

std::string MarkupDocument::EncodeText(std::string_view text) { return EncodeWithQuote(text, 0); }

std::string MarkupDocument::EncodeAttribute(std::string_view text) {
  return EncodeWithQuote(text, '"');
}

// --- files ---

bool MarkupDocument::LoadFile(const std::string& path) {
  std::FILE* f = std::fopen(paths::Native(path).c_str(), "rb");
  if (!f) return false;
  std::string raw;
  char buf[65536];
  bool readError = false;
  while (true) {
    size_t got = std::fread(buf, 1, sizeof buf, f);
    raw.append(buf, got);
    if (got < sizeof buf) {
      readError = std::ferror(f) != 0;
      break;
    }
  }
  std::fclose(f);
  if (readError) return false;

  m_report.clear();
  m_encoding.clear();
  m_hadMark = false;
  const size_t fileSize = raw.size();
  std::string_view content = raw;
  if (StartsWith(content, 0, "\xEF\xBB\xBF")) {
    m_encoding = "UTF-8";
    content.remove_prefix(3);
  } else if (StartsWith(content, 0, "\xFF\xFE")) {
    m_encoding = "UTF-16LE";
    content.remove_prefix(2);
  } else if (StartsWith(content, 0, "\xFE\xFF")) {
    m_encoding = "UTF-16BE";
    content.remove_prefix(2);
  }
  m_hadMark = !m_encoding.empty();

  std::string text;
  size_t lost = 0;
  if (m_encoding == "UTF-16LE" || m_encoding == "UTF-16BE") {
    const bool swap = m_encoding == "UTF-16BE";
    std::vector<uint16_t> units;
    units.reserve(content.size() / 2);
    size_t nulls = 0;
    for (size_t k = 0; k + 1 < content.size(); k += 2) {
      auto b0 = static_cast<unsigned char>(content[k]);
      auto b1 = static_cast<unsigned char>(content[k + 1]);
      uint16_t u =
          swap ? static_cast<uint16_t>((b0 << 8) | b1) : static_cast<uint16_t>((b1 << 8) | b0);
      if (u == 0) {
        ++nulls;
        continue;
      }
      units.push_back(u);
    }
    if (nulls) AddReport("nulls_removed", "", static_cast<int64_t>(nulls));
    if (swap) AddReport("endian_swap", "", static_cast<int64_t>(units.size()));
    AddReport("read", m_encoding, static_cast<int64_t>(fileSize));
    text = Utf16ToUtf8(units, &lost);
    AddReport("converted_to", "UTF-8", static_cast<int64_t>(text.size()));
  } else {
    std::string bytes;
    bytes.reserve(content.size());
    for (char c : content)
      if (c != '\0') bytes.push_back(c);
    if (bytes.size() != content.size())
      AddReport("nulls_removed", "", static_cast<int64_t>(content.size() - bytes.size()));
    AddReport("read", m_encoding.empty() ? "ANSI" : m_encoding, static_cast<int64_t>(fileSize));
    // The report names what the program's own text form required: UTF-8 content with
    // non-ASCII characters is converted (here: checked), code page text is taken as it stands.
    auto hasNonAscii = [&] {
      return std::any_of(bytes.begin(), bytes.end(),
                         [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    };
    if (m_encoding == "UTF-8") {
      text = CleanUtf8(bytes, &lost);
      if (hasNonAscii()) AddReport("converted_to", "UTF-8", static_cast<int64_t>(text.size()));
    } else {
      bool nonAscii = false;
      if (LooksLikeUtf8(bytes, &nonAscii)) {
        m_encoding = "UTF-8";
        AddReport("utf8_detection", "UTF-8", nonAscii ? 1 : 0);
        text = CleanUtf8(bytes, &lost);
        if (nonAscii) AddReport("converted_to", "UTF-8", static_cast<int64_t>(text.size()));
      } else {
        // Not UTF-8: the system code page of the original, GBK.
        AddReport("utf8_detection", "ANSI", 0);
        text = codepage::GbkToUtf8(bytes, &lost);
      }
    }
  }
  if (lost) AddReport("conversion_loss", "", static_cast<int64_t>(lost));

  m_text = std::move(text);
  std::vector<ReportItem> report = std::move(m_report);
  m_report.clear();
  Parse();
  report.insert(report.end(), m_report.begin(), m_report.end());
  m_report = std::move(report);
  return true;
}

std::string MarkupDocument::DeclaredEncoding() const {
  const std::string_view t = m_text;
  size_t i = 0;
  while (i < t.size() && IsSpace(t[i])) ++i;
  if (StartsWith(t, i, "<?xml")) {
    size_t end = t.find("?>", i);
    std::string_view decl = t.substr(i, end == npos ? npos : end - i);
    size_t at = decl.find("encoding");
    if (at != npos) {
      size_t q = decl.find_first_of("\"'", at);
      if (q != npos) {
        size_t qe = decl.find(decl[q], q + 1);
        if (qe != npos) return std::string(decl.substr(q + 1, qe - q - 1));
      }
    }
  }
  // An HTML page names its charset in a meta element.
  for (size_t k = 1; k < m_elements.size(); ++k) {
    std::string_view name = NameOf(static_cast<int>(k));
    if (Upper(name) != "META") continue;
    for (const Span& s : AttributesOf(static_cast<int>(k))) {
      std::string attr = Upper(t.substr(s.nameStart, s.nameLen));
      std::string value(t.substr(s.valueStart, s.valueLen));
      if (attr == "CHARSET" && !value.empty()) return value;
      if (attr == "CONTENT") {
        size_t c = Upper(value).find("CHARSET=");
        if (c != npos) {
          std::string cs = value.substr(c + 8);
          size_t stop = cs.find_first_of("; \"'");
          if (stop != npos) cs.resize(stop);
          if (!cs.empty()) return cs;
        }
      }
    }
  }
  return {};
}

std::string MarkupDocument::SaveEncoding() const {
  if (!m_encoding.empty()) return m_encoding;
  std::string declared = DeclaredEncoding();
  if (!declared.empty()) return NormalizeEncoding(declared);
  return "UTF-8";
}

bool MarkupDocument::SaveFile(const std::string& path) {
  const std::string encoding = NormalizeEncoding(SaveEncoding());
  std::string bytes;
  size_t lost = 0;
  std::string written = encoding;
  if (encoding == "UTF-8") {
    if (m_hadMark && m_encoding == "UTF-8") bytes = "\xEF\xBB\xBF";
    bytes += CleanUtf8(m_text, &lost);
  } else if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
    bytes = Utf8ToUtf16(m_text, encoding == "UTF-16BE", &lost);
  } else if (encoding == "GBK") {
    bytes = codepage::Utf8ToGbk(m_text, &lost);
  } else if (!Utf8ToOther(m_text, encoding, &bytes, &lost)) {
    // An encoding nobody here knows: UTF-8 at least keeps every character.
    written = "UTF-8";
    bytes = CleanUtf8(m_text, &lost);
  }

  if (!platform::WriteFileAtomically(path, bytes)) return false;
  AddReport("write", written, static_cast<int64_t>(bytes.size()));
  if (lost) AddReport("conversion_loss", written, static_cast<int64_t>(lost));
  return true;
}
