// Large documents made of a small piece repeated up to a megabyte: malformed markup must still
// cost time in proportion to its size (a broken end tag or a stray one must not send the parser
// over the rest of the text again). The replay bounds the time of every input.
#include <cstdint>
#include <string>

#include "markup/markup_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  constexpr size_t kSize = 1 << 20;
  const std::string piece(reinterpret_cast<const char*>(data), size);
  std::string text;
  text.reserve(kSize + size);
  while (text.size() < kSize) text += piece;

  MarkupDocument doc;
  doc.ParseText(text);
  // Every element found lies inside the text, children inside their parents.
  doc.Rewind();
  int guard = 0;
  while (doc.FindChild() && ++guard < 1000) {
    doc.ChildText();
    if (doc.EnterChild()) {
      doc.FindChild();
      doc.LeaveToParent();
    }
  }
  return 0;
}
