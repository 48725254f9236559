#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The program's own light XML document: the whole document as one UTF-8 text plus an index of
// element positions, walked with a cursor of three element indexes (parent, current, child).
//
// Typical walk: FindChild("tasks") finds a child of the root; EnterChild() makes it current;
// repeated FindChild("module") visits its modules in document order; LeaveToParent() goes back.
//
// Parsing is lenient: problems are collected in the report by name and the elements found stay
// usable. Nothing throws; operations answer false or an empty string on failure.
class MarkupDocument {
 public:
  // One named item of the result report ("read", "nulls_removed", "first_tag_syntax", ...).
  struct ReportItem {
    std::string name;
    std::string value;  // an encoding name, or empty
    int64_t count = 0;  // a byte/unit/character count, or how often a parse problem occurred
  };

  using Attributes = std::vector<std::pair<std::string, std::string>>;

  MarkupDocument();

  // Replaces the text, clears the report and parses. A null text empties text and index.
  // Returns false when the text holds no element.
  bool ParseText(std::string_view text);
  bool ParseText(const char* text);

  // Reads a file (byte order marks, UTF-16, GBK or UTF-8 detection) into the text and parses.
  // False when the file cannot be opened or read. "\" in the path is taken as "/".
  bool LoadFile(const std::string& path);

  // Writes the text in the document's encoding (the one found when loading, else the one the
  // XML declaration or an HTML meta charset names, else UTF-8) through a temporary file that
  // replaces the target by rename, so a reader never sees a half-written file.
  bool SaveFile(const std::string& path);

  // --- cursor ---
  void Rewind();  // current and child back to the document level
  // Searches the current element's children after the child position for `name` (any element
  // when `name` is empty). Without a current element the root becomes current first (and stays
  // current when the search fails); otherwise a failed search leaves the cursor unchanged.
  bool FindChild(std::string_view name = {});
  bool EnterChild();     // parent = current, current = child position, child = none
  bool LeaveToParent();  // child = current, current = parent, parent = its parent
  void ResetChildPos();  // the next FindChild searches from the first child again

  std::string CurrentTag() const;
  std::string ChildTag() const;
  // Character data of the element at the child position / the current element, entities
  // decoded. Text beside child elements is joined; whitespace-only runs between them are skipped.
  std::string ChildText() const;
  std::string CurrentText() const;
  // Attribute of the current element / of the child position; empty when missing.
  std::string AttributeValue(std::string_view name) const;
  std::string ChildAttribute(std::string_view name) const;

  // --- editing (text and index stay consistent; the cursor keeps its elements) ---
  bool SetAttribute(std::string_view name, std::string_view value);
  bool SetAttribute(std::string_view name, int value);  // written with "%d"
  bool SetChildAttribute(std::string_view name, std::string_view value);
  // Appends an element with text and attributes as the last child of the current element
  // (the root becomes current first when there is none), indented like its siblings; it becomes
  // the child position. A document without a root gets the element as its root, which then
  // becomes current. False for a bad name, or when the element would not land under the
  // current element (a child without its end tag); the document is then unchanged.
  bool AddChildElement(std::string_view name, std::string_view text = {},
                       const Attributes& attributes = {});
  // Removes the element at the child position with its subtree; the child position moves to
  // the previous sibling, so a FindChild loop goes on with the next one.
  bool RemoveChild();
  // Replaces the content of the element at the child position / the current element by text.
  bool SetChildText(std::string_view text);
  bool SetCurrentText(std::string_view text);

  // --- document ---
  const std::string& Text() const { return m_text; }
  // "UTF-8", "UTF-16LE", "UTF-16BE", or empty (ANSI, read as GBK) as found when loading.
  const std::string& Encoding() const { return m_encoding; }
  // The encoding SaveFile writes in.
  std::string SaveEncoding() const;
  bool HadByteOrderMark() const { return m_hadMark; }

  const std::vector<ReportItem>& Report() const { return m_report; }
  bool ReportHas(std::string_view name) const;
  const ReportItem* ReportFind(std::string_view name) const;
  // "name=value/count; ..." for logs.
  std::string ReportText() const;

  size_t ElementCount() const { return m_elements.empty() ? 0 : m_elements.size() - 1; }

  // Entity and character reference handling, shared with callers that build markup by hand.
  static std::string DecodeEntities(std::string_view text);
  static std::string EncodeText(std::string_view text);
  static std::string EncodeAttribute(std::string_view text);

 private:
  struct Element {
    size_t start = 0;       // '<' of the start tag
    size_t tagEnd = 0;      // just after the start tag's '>'
    size_t contentEnd = 0;  // '<' of the end tag (== tagEnd when empty)
    size_t end = 0;         // just after the end tag (or where the element was cut off)
    size_t nameLen = 0;
    bool selfClosed = false;
    bool ended = false;  // has its own end tag (or is self-closed)
    int parent = 0;
    int firstChild = 0;
    int lastChild = 0;
    int next = 0;
    int prev = 0;
  };
  struct Span {
    size_t nameStart, nameLen, valueStart, valueLen;
    char quote;
  };

  void Parse();
  void Problem(const char* name, size_t offset);
  void AddReport(std::string name, std::string value, int64_t count);
  int NewElement();
  std::string_view NameOf(int index) const;
  std::string TextOf(int index) const;
  bool FindAttribute(int index, std::string_view name, Span* span) const;
  std::vector<Span> AttributesOf(int index) const;
  bool SetAttributeOf(int index, std::string_view name, std::string_view value);
  bool SetTextOf(int index, std::string_view text);
  // Replaces text [from, to) and rebuilds the index; the report stays, and the cursor keeps
  // its elements (one whose start tag was inside the replaced range is dropped).
  void Replace(size_t from, size_t to, std::string_view with);
  void Splice(size_t from, size_t to, std::string_view with, int* keep[3]);
  int IndexAt(size_t start) const;
  std::string LineEnd() const;
  std::string IndentUnit() const;
  std::string IndentOf(size_t start) const;
  std::string DeclaredEncoding() const;

  std::string m_text;
  std::vector<Element> m_elements;  // [0] is the document itself
  std::vector<ReportItem> m_report;
  std::string m_encoding;
  bool m_hadMark = false;
  int m_parent = 0;
  int m_current = 0;
  int m_child = 0;
};
