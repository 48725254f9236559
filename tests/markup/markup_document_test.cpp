#include "markup/markup_document.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::string Data(const std::string& name) {
  return testsupport::SourcePath("tests/markup/data/" + name);
}

// The same edit on every encoding of the same document.
void EditSample(MarkupDocument& doc) {
  ASSERT_TRUE(doc.FindChild("tasks"));
  ASSERT_TRUE(doc.EnterChild());
  ASSERT_TRUE(doc.FindChild("module"));
  ASSERT_TRUE(doc.EnterChild());
  ASSERT_TRUE(doc.FindChild("item"));
  ASSERT_TRUE(doc.SetChildText("http://新地址/a?x=1&y=<2>"));
  ASSERT_TRUE(doc.FindChild("item"));
  ASSERT_EQ(doc.ChildAttribute("name"), "搜狐 & 网易");
  ASSERT_TRUE(doc.RemoveChild());
  ASSERT_TRUE(
      doc.AddChildElement("item", "http://添加.cn/",
                          {{"id", "9"}, {"selected", "false"}, {"name", "新增 \"站点\" & 更多"}}));
  ASSERT_TRUE(doc.LeaveToParent());
  ASSERT_EQ(doc.ChildTag(), "module");
  ASSERT_TRUE(doc.SetChildAttribute("selected", "false"));
  doc.Rewind();
  ASSERT_TRUE(doc.FindChild("history"));
  ASSERT_TRUE(doc.EnterChild());
  ASSERT_TRUE(doc.FindChild("bsave"));
  ASSERT_TRUE(doc.SetChildText("false"));
}

struct GoldenCase {
  const char* name;
  const char* encoding;  // as found when loading
  bool mark;
  const char* report;  // a report item loading must produce
};

class MarkupGolden : public ProgramFolderTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(MarkupGolden, LoadEditSaveGivesExpectedBytes) {
  const GoldenCase& c = GetParam();
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFile(Data(std::string(c.name) + ".xml")));
  EXPECT_EQ(doc.Encoding(), c.encoding);
  EXPECT_EQ(doc.HadByteOrderMark(), c.mark);
  EXPECT_TRUE(doc.ReportHas("read"));
  EXPECT_TRUE(doc.ReportHas(c.report)) << doc.ReportText();
  EXPECT_FALSE(doc.ReportHas("conversion_loss")) << doc.ReportText();

  // Every encoding reads as the same characters.
  ASSERT_TRUE(doc.FindChild("tasks") && doc.EnterChild() && doc.FindChild("module") &&
              doc.EnterChild() && doc.FindChild("item"));
  EXPECT_EQ(doc.ChildAttribute("name"), "新浪");
  EXPECT_EQ(doc.ChildText(), "http://127.0.0.1/sina");
  doc.Rewind();

  EditSample(doc);
  ASSERT_TRUE(doc.SaveFile(At("out.xml")));
  EXPECT_EQ(Read("out.xml"), testsupport::ReadFile(Data(std::string(c.name) + ".expected")));
  // No temporary file stays beside the target.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(m_folder))
    if (e.is_regular_file()) ++files;
  EXPECT_EQ(files, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, MarkupGolden,
    ::testing::Values(GoldenCase{"utf8_bom", "UTF-8", true, "converted_to"},
                      GoldenCase{"utf8", "UTF-8", false, "utf8_detection"},
                      GoldenCase{"utf16le", "UTF-16LE", true, "converted_to"},
                      GoldenCase{"utf16be", "UTF-16BE", true, "endian_swap"},
                      GoldenCase{"gbk", "", false, "utf8_detection"},
                      GoldenCase{"gbk_undeclared", "", false, "utf8_detection"},
                      GoldenCase{"nuls", "UTF-8", false, "nulls_removed"}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

class MarkupFiles : public ProgramFolderTest {};

TEST_F(MarkupFiles, Utf16TwinsReadTheSame) {
  MarkupDocument le, be, utf8;
  ASSERT_TRUE(le.LoadFile(Data("utf16le.xml")));
  ASSERT_TRUE(be.LoadFile(Data("utf16be.xml")));
  ASSERT_TRUE(utf8.LoadFile(Data("utf8.xml")));
  EXPECT_EQ(le.Text(), be.Text());
  EXPECT_EQ(le.Text(), utf8.Text());
  ASSERT_TRUE(be.ReportHas("endian_swap"));
  EXPECT_EQ(be.ReportFind("endian_swap")->count, (674 - 2) / 2);  // every unit of the file
  EXPECT_FALSE(le.ReportHas("endian_swap"));
}

TEST_F(MarkupFiles, NullsAreCountedAndUtf8DetectionFollowsTheLeadByteRules) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFile(Data("nuls.xml")));
  EXPECT_EQ(doc.ReportFind("nulls_removed")->count, 3);

  // Latin-1 bytes are no UTF-8 lead/follow pairs: the file is GBK, and so is read.
  Write("latin.xml", std::string("<a>caf\xE9 au lait \xD6\xD0\xCE\xC4</a>"));
  ASSERT_TRUE(doc.LoadFile(At("latin.xml")));
  EXPECT_EQ(doc.ReportFind("utf8_detection")->value, "ANSI");
  EXPECT_FALSE(doc.ReportHas("converted_to"));
  EXPECT_EQ(doc.Encoding(), "");
  EXPECT_EQ(doc.Text(), "<a>caf? au lait 中文</a>");  // "\xE9 " is no GBK pair

  // Short GBK text whose bytes pass a lead-byte-only walk is still GBK.
  Write("gbk_short.xml", std::string("<a>\xD6\xD0\xCE\xC4</a>"));
  ASSERT_TRUE(doc.LoadFile(At("gbk_short.xml")));
  EXPECT_EQ(doc.Text(), "<a>中文</a>");
  EXPECT_FALSE(doc.ReportHas("conversion_loss"));

  // A sequence cut off by the end still counts as UTF-8; the broken tail becomes "?".
  Write("cut.xml", std::string("<a>中</a>\xE4\xB8"));
  ASSERT_TRUE(doc.LoadFile(At("cut.xml")));
  EXPECT_EQ(doc.Encoding(), "UTF-8");
  EXPECT_TRUE(doc.ReportHas("conversion_loss"));
  EXPECT_FALSE(doc.FindChild());  // no child, but the root becomes current
  EXPECT_EQ(doc.CurrentText(), "中");

  // UTF-16 with an unpaired surrogate: the unit is lost, the rest reads.
  Write("bad16.xml", std::string("\xFF\xFE<\0a\0>\0\x00\xD8x\0<\0/\0a\0>\0", 20));
  ASSERT_TRUE(doc.LoadFile(At("bad16.xml")));
  EXPECT_EQ(doc.Text(), "<a>?x</a>");
  EXPECT_EQ(doc.ReportFind("conversion_loss")->count, 1);
}

TEST_F(MarkupFiles, MissingFileAndUnwritableTargetFailCleanly) {
  MarkupDocument doc;
  EXPECT_FALSE(doc.LoadFile(At("absent.xml")));
  EXPECT_FALSE(doc.LoadFile(m_folder));  // a folder cannot be read
  ASSERT_TRUE(doc.ParseText("<a/>"));
  EXPECT_FALSE(doc.SaveFile(At("no/such/folder/x.xml")));

  // Backslash paths of the original name the same file.
  std::filesystem::create_directories(At("Config"));
  ASSERT_TRUE(doc.SaveFile("Config\\x.xml"));
  EXPECT_EQ(Read("Config/x.xml"), "<a/>");
  MarkupDocument again;
  EXPECT_TRUE(again.LoadFile("Config//x.xml"));
}

TEST_F(MarkupFiles, SaveUsesDeclarationOrMetaCharsetWhenNothingWasLoaded) {
  MarkupDocument doc;
  doc.ParseText("<?xml version=\"1.0\" encoding=\"gbk\"?><a>中文</a>");
  EXPECT_EQ(doc.SaveEncoding(), "GBK");
  ASSERT_TRUE(doc.SaveFile(At("g.xml")));
  EXPECT_EQ(Read("g.xml"), "<?xml version=\"1.0\" encoding=\"gbk\"?><a>\xD6\xD0\xCE\xC4</a>");

  doc.ParseText(
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=UTF-16\"/></head></html>");
  EXPECT_EQ(doc.SaveEncoding(), "UTF-16LE");

  doc.ParseText("<a>€</a>");
  EXPECT_EQ(doc.SaveEncoding(), "UTF-8");
}

// --- cursor ---

const char* kList =
    "<?xml version=\"1.0\"?>\n"
    "<!-- list -->\n"
    "<root a=\"1\">\n"
    "  <item id=\"1\">one</item>\n"
    "  <other/>\n"
    "  <item id=\"2\"><sub>deep</sub></item>\n"
    "  <item id=\"3\">three</item>\n"
    "</root>\n";

TEST(MarkupCursor, FindChildWalksTheRootsChildrenInOrder) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.ParseText(kList));
  EXPECT_EQ(doc.AttributeValue("a"), "");  // no current element yet
  std::vector<std::string> ids;
  while (doc.FindChild("item")) ids.push_back(doc.ChildAttribute("id"));
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(doc.CurrentTag(), "root");
  EXPECT_EQ(doc.AttributeValue("a"), "1");
  // A failed search leaves the cursor where it was.
  EXPECT_EQ(doc.ChildAttribute("id"), "3");

  doc.Rewind();
  ASSERT_TRUE(doc.FindChild("item"));
  ASSERT_TRUE(doc.FindChild("item"));
  ASSERT_TRUE(doc.EnterChild());
  EXPECT_EQ(doc.CurrentTag(), "item");
  EXPECT_EQ(doc.AttributeValue("id"), "2");
  EXPECT_EQ(doc.ChildTag(), "");
  EXPECT_FALSE(doc.FindChild("item"));  // only children of the current element count
  ASSERT_TRUE(doc.FindChild("sub"));
  EXPECT_EQ(doc.ChildText(), "deep");
  EXPECT_EQ(doc.CurrentText(), "");  // whitespace-free, text only inside the child
  ASSERT_TRUE(doc.LeaveToParent());
  EXPECT_EQ(doc.CurrentTag(), "root");
  EXPECT_EQ(doc.ChildAttribute("id"), "2");
  // The search goes on after the item just left.
  ASSERT_TRUE(doc.FindChild("item"));
  EXPECT_EQ(doc.ChildAttribute("id"), "3");
  EXPECT_FALSE(doc.LeaveToParent());  // the root has no parent

  doc.ResetChildPos();
  ASSERT_TRUE(doc.FindChild());  // any element
  EXPECT_EQ(doc.ChildText(), "one");

  MarkupDocument empty;
  EXPECT_FALSE(empty.FindChild("item"));
  EXPECT_FALSE(empty.EnterChild());
  EXPECT_EQ(empty.ChildText(), "");
  EXPECT_FALSE(empty.SetAttribute("x", 1));
}

TEST(MarkupCursor, NullTextEmptiesTheDocument) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.ParseText(kList));
  EXPECT_FALSE(doc.ParseText(static_cast<const char*>(nullptr)));
  EXPECT_EQ(doc.Text(), "");
  EXPECT_EQ(doc.ElementCount(), 0u);
  EXPECT_FALSE(doc.FindChild("item"));
  EXPECT_TRUE(doc.ReportHas("no_root_element"));
}

// --- parse problems ---

struct ProblemCase {
  const char* text;
  const char* problem;
  const char* usable;  // an element still found under the root, or empty
};

TEST(MarkupParse, EachProblemIsNamedAndFoundElementsStayUsable) {
  const ProblemCase cases[] = {
      {"<a><b>x</b><c y=\"1\" <d/></a>", "first_tag_syntax", "b"},
      {"<a><b>x</b></a", "first_tag_syntax", "b"},
      {"<!DOCTYPE a [ <!ELEMENT a ANY> ", "doctype_tag_syntax", ""},
      {"<a><b>x</b><!bogus></a>", "exclamation_tag_syntax", "b"},
      {"<a><b>x</b><!-- never closed </a>", "comment_tag_syntax", "b"},
      {"<a><b>x</b><![CDATA[ never closed </a>", "cdata_section_syntax", "b"},
      {"<a><b>x</b></c></a>", "lone_end_tag", "b"},
      {"<a><b>x</b><c></a>", "unended_start_tag", "b"},
      {"<a><b>x</b>", "unended_start_tag", "b"},
      {"just text", "no_root_element", ""},
      {"<a><b>x</b></a><z/>", "root_has_sibling", "b"},
  };
  for (const ProblemCase& c : cases) {
    MarkupDocument doc;
    doc.ParseText(c.text);
    EXPECT_TRUE(doc.ReportHas(c.problem)) << c.text << " -> " << doc.ReportText();
    if (*c.usable) {
      EXPECT_TRUE(doc.FindChild(c.usable)) << c.text;
      EXPECT_EQ(doc.ChildText(), "x") << c.text;
    }
  }

  MarkupDocument clean;
  clean.ParseText(kList);
  EXPECT_TRUE(clean.Report().empty()) << clean.ReportText();

  // Two top-level elements: both parse, the first is the root.
  MarkupDocument two;
  two.ParseText("<first><x/></first><second/>");
  EXPECT_TRUE(two.ReportHas("root_has_sibling"));
  EXPECT_EQ(two.ElementCount(), 3u);
  EXPECT_TRUE(two.FindChild("x"));
  EXPECT_EQ(two.CurrentTag(), "first");

  // An unended element closes where its parent ends.
  MarkupDocument cut;
  cut.ParseText("<a><b><c>t</a><d>u</d>");
  ASSERT_TRUE(cut.FindChild("b"));
  EXPECT_FALSE(cut.FindChild("d"));
}

TEST(MarkupParse, MalformedMegabyteParsesInLinearTime) {
  auto repeat = [](const std::string& piece, size_t bytes) {
    std::string out;
    out.reserve(bytes + piece.size());
    while (out.size() < bytes) out += piece;
    return out;
  };
  struct Case {
    const char* what;
    std::string text;
    const char* problem;
  };
  const Case cases[] = {
      // End tags never closed by ">", a ">" only at the very end.
      {"cut end tags", "<a>" + repeat("</x", 1 << 20) + ">", "first_tag_syntax"},
      // Deeply open elements, then end tags that match none of them.
      {"lone end tags", repeat("<a>", 1 << 19) + repeat("</b>", 1 << 19), "lone_end_tag"},
      {"interleaved", repeat("<a></b>", 1 << 20), "lone_end_tag"},
  };
  for (const Case& c : cases) {
    MarkupDocument doc;
    auto start = std::chrono::steady_clock::now();
    doc.ParseText(c.text);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(1)) << c.what;
    EXPECT_TRUE(doc.ReportHas(c.problem)) << c.what << ": " << doc.ReportText();
    size_t starts = 0;
    for (size_t at = c.text.find("<a>"); at != std::string::npos; at = c.text.find("<a>", at + 1))
      ++starts;
    EXPECT_EQ(doc.ElementCount(), starts) << c.what;
  }

  // A matching end tag deep in the stack still closes the elements opened after it.
  MarkupDocument doc;
  doc.ParseText("<r><a><b><c></x></a><d>t</d></r>");
  EXPECT_TRUE(doc.ReportHas("lone_end_tag"));
  EXPECT_TRUE(doc.ReportHas("unended_start_tag"));
  ASSERT_TRUE(doc.FindChild("d"));
  EXPECT_EQ(doc.ChildText(), "t");
}

TEST(MarkupParse, EntitiesAreDecodedWhenReadAndEncodedWhenWritten) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.ParseText(
      "<a t='it&apos;s &quot;q&quot;' u=\"&#20013;&#x6587;&#x1F600;\">"
      "&lt;x&gt; &amp;amp; &#65; &bogus; &#xD800; &#0; &<![CDATA[<raw>&amp;]]><!-- c --></a>"));
  doc.FindChild();  // makes the root current
  ASSERT_EQ(doc.CurrentTag(), "a");
  EXPECT_EQ(doc.AttributeValue("t"), "it's \"q\"");
  EXPECT_EQ(doc.AttributeValue("u"), "中文\xF0\x9F\x98\x80");
  EXPECT_EQ(doc.CurrentText(), "<x> &amp; A &bogus; &#xD800; &#0; &<raw>&amp;");

  ASSERT_TRUE(doc.SetAttribute("t", "a'b\"c<&>"));  // single-quoted value stays single-quoted
  ASSERT_TRUE(doc.SetAttribute("n", 42));
  ASSERT_TRUE(doc.SetAttribute("v", "x\"y"));
  EXPECT_NE(doc.Text().find("t='a&apos;b\"c&lt;&amp;&gt;'"), std::string::npos) << doc.Text();
  EXPECT_NE(doc.Text().find("n=\"42\" v=\"x&quot;y\">"), std::string::npos) << doc.Text();
  EXPECT_EQ(doc.AttributeValue("t"), "a'b\"c<&>");
  EXPECT_EQ(doc.AttributeValue("v"), "x\"y");
  ASSERT_TRUE(doc.SetCurrentText("1 < 2 & 3"));
  EXPECT_EQ(doc.CurrentText(), "1 < 2 & 3");
  EXPECT_NE(doc.Text().find(">1 &lt; 2 &amp; 3</a>"), std::string::npos);
}

// --- editing keeps text and index consistent ---

// The structure as a fresh parse of the text sees it: tag(attr id)[children].
std::string Shape(MarkupDocument& doc) {
  std::string out;
  while (doc.FindChild()) {
    out += doc.ChildTag();
    std::string id = doc.ChildAttribute("id");
    if (!id.empty()) out += "#" + id;
    std::string text = doc.ChildText();
    if (text.find_first_not_of(" \t\r\n") != std::string::npos) out += "=" + text;
    if (doc.EnterChild()) {
      std::string inner = Shape(doc);
      if (!inner.empty()) out += "[" + inner + "]";
      doc.LeaveToParent();
    }
    out += " ";
  }
  return out;
}

std::string FreshShape(const std::string& text) {
  MarkupDocument doc;
  doc.ParseText(text);
  doc.FindChild();  // the root becomes current
  doc.ResetChildPos();
  return Shape(doc);
}

TEST(MarkupEdit, EditsKeepTheCursorAndMatchAFreshParse) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.ParseText("<r>\r\n  <m id=\"1\"/>\r\n  <m id=\"2\">\r\n  </m>\r\n</r>"));
  ASSERT_TRUE(doc.FindChild("m"));
  ASSERT_TRUE(doc.EnterChild());
  ASSERT_TRUE(doc.AddChildElement("i", "a", {{"id", "1"}}));  // self-closed parent opens up
  ASSERT_TRUE(doc.AddChildElement("i", "", {{"id", "2"}}));
  EXPECT_EQ(doc.ChildAttribute("id"), "2");
  EXPECT_EQ(doc.CurrentTag(), "m");
  ASSERT_TRUE(doc.LeaveToParent());
  ASSERT_TRUE(doc.FindChild("m"));
  ASSERT_TRUE(doc.EnterChild());
  ASSERT_TRUE(doc.AddChildElement("i", "b", {{"id", "3"}}));  // whitespace-only content
  ASSERT_TRUE(doc.SetChildText("b2"));
  ASSERT_TRUE(doc.LeaveToParent());
  EXPECT_EQ(doc.ChildAttribute("id"), "2");

  doc.ResetChildPos();
  std::string shape = Shape(doc);
  EXPECT_EQ(shape, "m#1[i#1=a i#2 ] m#2[i#3=b2 ] ");
  EXPECT_EQ(shape, FreshShape(doc.Text()));
  EXPECT_EQ(doc.Text(),
            "<r>\r\n  <m id=\"1\">\r\n    <i id=\"1\">a</i>\r\n    <i id=\"2\"/>\r\n  </m>\r\n"
            "  <m id=\"2\">\r\n    <i id=\"3\">b2</i>\r\n  </m>\r\n</r>");

  // Removing while walking visits every element once.
  doc.Rewind();
  ASSERT_TRUE(doc.FindChild("m") && doc.EnterChild());
  int removed = 0;
  while (doc.FindChild("i")) {
    ASSERT_TRUE(doc.RemoveChild());
    ++removed;
  }
  EXPECT_EQ(removed, 2);
  EXPECT_EQ(doc.CurrentTag(), "m");
  EXPECT_EQ(doc.AttributeValue("id"), "1");
  doc.Rewind();
  doc.FindChild();
  doc.ResetChildPos();
  EXPECT_EQ(Shape(doc), "m#1 m#2[i#3=b2 ] ");
  EXPECT_EQ(Shape(doc), "");  // the walk is at its end
  EXPECT_EQ(FreshShape(doc.Text()), "m#1 m#2[i#3=b2 ] ");

  // A document without a root gets one; bad names are refused.
  MarkupDocument fresh;
  fresh.ParseText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
  ASSERT_TRUE(fresh.AddChildElement("auto"));
  EXPECT_EQ(fresh.CurrentTag(), "auto");
  EXPECT_FALSE(fresh.AddChildElement("bad name"));
  EXPECT_FALSE(fresh.AddChildElement("x", "", {{"a b", "1"}}));
  ASSERT_TRUE(fresh.AddChildElement("tasks"));
  EXPECT_EQ(fresh.Text(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<auto>\r\n\t<tasks/>\r\n</auto>\r\n");
}

TEST(MarkupEdit, AddingUnderAnElementWithoutEndTagIsRefused) {
  MarkupDocument doc;
  doc.ParseText("<a><b><c></a>");
  ASSERT_TRUE(doc.FindChild("b") && doc.EnterChild());
  std::string before = doc.Text();
  // The new element would land inside the unended <c>.
  EXPECT_FALSE(doc.AddChildElement("x"));
  EXPECT_EQ(doc.Text(), before);
  EXPECT_EQ(doc.CurrentTag(), "b");
}

}  // namespace
