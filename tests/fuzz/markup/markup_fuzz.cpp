// Feeds arbitrary bytes to the markup document, both as text and as a file (so the byte order
// mark, UTF-16 and code page paths run), then walks and edits what was found.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "../fuzz_folder.h"
#include "markup/markup_document.h"

namespace {

void Walk(MarkupDocument& doc, int depth) {
  int guard = 0;
  while (doc.FindChild() && ++guard < 64) {
    doc.ChildText();
    doc.ChildAttribute("id");
    if (depth < 8 && doc.EnterChild()) {
      doc.AttributeValue("name");
      Walk(doc, depth + 1);
      doc.LeaveToParent();
    }
  }
}

void Exercise(MarkupDocument& doc) {
  doc.Rewind();
  Walk(doc, 0);
  doc.Rewind();
  if (doc.FindChild()) {
    doc.SetChildText("t<&>");
    doc.SetChildAttribute("id", "1\"'");
    if (doc.EnterChild()) {
      doc.AddChildElement("item", "x", {{"id", "2"}});
      doc.SetAttribute("n", 7);
      doc.LeaveToParent();
    }
    doc.RemoveChild();
  }
  doc.AddChildElement("tail");
  // After any edit the text must parse to the same number of elements.
  MarkupDocument again;
  again.ParseText(doc.Text());
  if (again.ElementCount() != doc.ElementCount()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  MarkupDocument doc;
  doc.ParseText(text);
  Exercise(doc);

  static const std::string path = fuzzfolder::Enter() + "/markup_fuzz.xml";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    MarkupDocument file;
    if (file.LoadFile(path)) {
      Exercise(file);
      file.SaveFile(path);
      MarkupDocument back;
      back.LoadFile(path);
    }
    std::remove(path.c_str());
  }
  return 0;
}
