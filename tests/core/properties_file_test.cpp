#include "core/properties_file.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <regex>

#include "platform/codepage.h"
#include "test_support.h"

namespace {

class PropertiesTest : public ProgramFolderTest {};

std::string Han(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "汉";  // two GBK bytes each
  return s;
}

TEST_F(PropertiesTest, LoadStopsAtEmptyLineOrLineWithoutEquals) {
  Write("conf/a.properties", "#comment\nk1=v1\n\nk2=v2\n");
  PropertiesFile a("conf\\a.properties");
  a.Load();
  EXPECT_EQ(a.Get("k1"), "v1");
  EXPECT_EQ(a.Get("k2"), "null");

  Write("conf/b.properties", "k1=v1\nabc\nk2=v2\n");
  PropertiesFile b("conf\\b.properties");
  b.Load();
  EXPECT_EQ(b.Get("k1"), "v1");
  EXPECT_EQ(b.Get("k2"), "null");
  EXPECT_EQ(b.Entries().size(), 1u);
}

TEST_F(PropertiesTest, SplitsAtFirstEqualsAndKeepsBlanksAndCarriageReturns) {
  Write("conf/c.properties", "a=b=c\n=empty key\n k = v \nwin=dos\r\n!x=1\n");
  PropertiesFile p("conf\\c.properties");
  p.Load();
  EXPECT_EQ(p.Get("a"), "b=c");
  EXPECT_EQ(p.Get(""), "empty key");
  EXPECT_EQ(p.Get(" k "), " v ");
  EXPECT_EQ(p.Get("k"), "null");
  EXPECT_EQ(p.Get("win"), "dos\r");
  EXPECT_EQ(p.Get("!x"), "1");  // only "#" marks a comment
}

TEST_F(PropertiesTest, DuplicateKeysAreAllUpdatedAndIndexKeepsLast) {
  Write("conf/d.properties", "k=1\nother=x\nk=2\n");
  PropertiesFile p("conf\\d.properties");
  p.Load();
  EXPECT_EQ(p.Get("k"), "2");
  p.Set("k", "3");
  p.Save(false);
  std::string text = Read("conf/d.properties");
  EXPECT_NE(text.find("k=3\nother=x\nk=3\n"), std::string::npos) << text;
}

TEST_F(PropertiesTest, SetAbsentWritesNothingAndAddPresentChangesNothing) {
  PropertiesFile missing("conf\\missing.properties");
  missing.Load();
  missing.Set("k", "v");
  EXPECT_FALSE(missing.Modified());
  missing.Save(true);
  EXPECT_FALSE(testsupport::Exists(At("conf/missing.properties")));

  missing.Add("k", "v");
  missing.Add("k", "w");
  EXPECT_EQ(missing.Get("k"), "v");
  missing.Save(false);
  PropertiesFile again("conf\\missing.properties");
  again.Load();
  EXPECT_EQ(again.Get("k"), "v");
}

TEST_F(PropertiesTest, SaveWritesHeaderLinesAndStampsOnlyExistingPreDate) {
  Write("conf/e.properties", "uname=x\n");
  PropertiesFile p("conf\\e.properties");
  p.Load();
  p.Set("uname", "y");
  p.Save(true);
  std::string text = Read("conf/e.properties");
  std::regex layout(
      "#user config\n#(Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]{2} \\d{2} \\d{2}:\\d{2}:\\d{2} "
      "\\S+ \\d{4}\nuname=y\n");
  EXPECT_TRUE(std::regex_match(text, layout)) << text;

  Write("conf/f.properties", "pre_date=\nuname=x\n");
  PropertiesFile q("conf\\f.properties");
  q.Load();
  q.Set("uname", "z");
  q.Save(true);
  std::string stamped = Read("conf/f.properties");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(stamped, m,
                                std::regex("\npre_date=\\d{4}-\\d{2}-\\d{2} \\d{2}\\\\:\\d{2}\\\\:\\d{2}\n")))
      << stamped;
  // The stamp is read back as it stands, backslashes included.
  PropertiesFile r("conf\\f.properties");
  r.Load();
  EXPECT_EQ(r.Get("pre_date").size(), 21u);
}

// The stamp line and "pre_date" keep the C formats under the user's locale: under zh_CN the
// names would be UTF-8 Chinese inside a GBK file.
TEST_F(PropertiesTest, StampsIgnoreTheProcessLocale) {
  const std::regex layout(
      "#user config\n#(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|"
      "Dec) \\d{2} \\d{2}:\\d{2}:\\d{2} [A-Za-z0-9+-]+ \\d{4}\n"
      "pre_date=\\d{4}-\\d{2}-\\d{2} \\d{2}\\\\:\\d{2}\\\\:\\d{2}\nuname=z\n");
  for (const char* name : testsupport::kForeignLocales) {
    SCOPED_TRACE(name);
    testsupport::ScopedLocale locale(name);
    ASSERT_TRUE(locale.Active()) << name << " is not installed (scripts/setup generates it)";
    Write("conf/l.properties", "pre_date=\nuname=x\n");
    PropertiesFile p("conf\\l.properties");
    p.Load();
    p.Set("uname", "z");
    p.Save(true);
    const std::string text = Read("conf/l.properties");
    EXPECT_TRUE(std::regex_match(text, layout)) << text;
  }
}

// A value with a line end, or one too long for its line, would end the next Load at that
// line and lose every key after it: Set and Add refuse it and leave the file as it was.
TEST_F(PropertiesTest, ValuesThatWouldBreakTheirLineAreRefused) {
  const std::string original = "uname=x\nuserid=1234\npre_date=\n";
  Write("conf/m.properties", original);
  PropertiesFile p("conf\\m.properties");
  p.Load();
  EXPECT_FALSE(p.Set("uname", "first\nsecond"));
  EXPECT_FALSE(p.Set("uname", "dos\r"));
  EXPECT_FALSE(p.Add("extra", "a\nb=c"));
  EXPECT_FALSE(p.Add("ex\ntra", "v"));
  // "uname=" + 249 bytes = 255 fits; one more byte does not. Chinese counts two GBK bytes.
  EXPECT_FALSE(p.Set("uname", std::string(250, 'n')));
  EXPECT_FALSE(p.Set("uname", "a" + Han(125)));
  EXPECT_FALSE(p.Modified());
  p.Save(true);
  EXPECT_EQ(Read("conf/m.properties"), original);

  EXPECT_TRUE(p.Set("uname", std::string(249, 'n')));
  EXPECT_TRUE(p.Add("nick", Han(124)));  // "nick=" + 248 bytes
  EXPECT_FALSE(p.Set("absent", "v"));
  EXPECT_FALSE(p.Add("uname", "v"));
  p.Save(true);
  PropertiesFile q("conf\\m.properties");
  q.Load();
  EXPECT_EQ(q.Get("uname"), std::string(249, 'n'));
  EXPECT_EQ(q.Get("userid"), "1234");
  EXPECT_NE(q.Get("pre_date"), "");
  EXPECT_EQ(q.Get("nick"), Han(124));
}

TEST_F(PropertiesTest, ChineseValuesAreGbkOnDisk) {
  PropertiesFile p("conf\\g.properties");
  p.Add("uname", "张三");
  p.Save(false);
  std::string text = Read("conf/g.properties");
  EXPECT_NE(text.find("uname=\xD5\xC5\xC8\xFD\n"), std::string::npos);
  PropertiesFile q("conf\\g.properties");
  q.Load();
  EXPECT_EQ(q.Get("uname"), "张三");
}

TEST_F(PropertiesTest, LinesAreReadUpTo255Bytes) {
  std::string value(253, 'v');  // "k=" + 253 = 255 bytes
  Write("conf/h.properties", "k=" + value + "\nnext=1\n");
  PropertiesFile p("conf\\h.properties");
  p.Load();
  EXPECT_EQ(p.Get("k"), value);
  EXPECT_EQ(p.Get("next"), "1");

  // A longer line is cut at 255 bytes; the byte after the cut is consumed and the rest is read
  // as a line of its own.
  Write("conf/i.properties", "k=" + value + "Xtail=2\n");
  PropertiesFile q("conf\\i.properties");
  q.Load();
  EXPECT_EQ(q.Get("k"), value);
  EXPECT_EQ(q.Get("tail"), "2");
}

// A save killed at any moment leaves either the old or the new file, whole.
TEST_F(PropertiesTest, KilledSaveNeverLeavesPartialFile) {
  const int kKeys = 400;
  {
    PropertiesFile init("conf\\kill.properties");
    for (int i = 0; i < kKeys; ++i) init.Add("key" + std::to_string(i), "value-0");
    init.Save(false);
  }
  std::mt19937 rng(42);
  for (int round = 0; round < 25; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int gen = 1;; ++gen) {
        PropertiesFile p("conf\\kill.properties");
        p.Load();
        for (int i = 0; i < kKeys; ++i) p.Set("key" + std::to_string(i), "value-" + std::to_string(gen));
        p.Save(false);
      }
    }
    usleep(1000 + rng() % 20000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    PropertiesFile check("conf\\kill.properties");
    check.Load();
    ASSERT_EQ(check.Entries().size(), static_cast<size_t>(kKeys)) << "round " << round;
    std::string first = check.Get("key0");
    for (int i = 0; i < kKeys; ++i) ASSERT_EQ(check.Get("key" + std::to_string(i)), first);
  }
}

TEST(StoredValue, KnownAnswersFromAnIndependentDes) {
  // Computed with `openssl enc -des-ecb -nopad` (legacy provider), key "3ed,4rf.", zero filled.
  EXPECT_EQ(EncodeStoredValue(""), "");
  EXPECT_EQ(EncodeStoredValue("a"), "7F1DC2AF7C8F07B2");
  EXPECT_EQ(EncodeStoredValue("abcdefg"), "3D7BCC27A8418EA9");
  EXPECT_EQ(EncodeStoredValue("abcdefgh"), "C79EF5FE6AC728BB");
  EXPECT_EQ(EncodeStoredValue("abcdefghi"), "C79EF5FE6AC728BB91793373DF81CE21");
  EXPECT_EQ(EncodeStoredValue("0123456789abcdef"), "E06C88950896A4732B9C24EAF1443D79");
  EXPECT_EQ(EncodeStoredValue("中文"), "D3945F107ADB3B48");  // GBK bytes are scrambled

  for (const char* plain : {"a", "abcdefg", "abcdefgh", "abcdefghi", "0123456789abcdef", "中文"})
    EXPECT_EQ(DecodeStoredValue(EncodeStoredValue(plain)), plain);
  EXPECT_EQ(DecodeStoredValue("c79ef5fe6ac728bb91793373df81ce21"), "abcdefghi");
}

TEST(StoredValue, BadKeysAndGarbageGiveEmptyText) {
  EXPECT_EQ(EncodeStoredValue("abc", "3ed,4rf"), "");
  EXPECT_EQ(EncodeStoredValue("abc", "3ed,4rf.x"), "");
  EXPECT_EQ(DecodeStoredValue("7F1DC2AF7C8F07B2", "1234567"), "");
  EXPECT_EQ(DecodeStoredValue("7F1DC2AF7C8F07B2", "123456789"), "");
  EXPECT_EQ(DecodeStoredValue("7F1DC2AF7C8F07"), "");     // not a whole block
  EXPECT_EQ(DecodeStoredValue("7F1DC2AF7C8F07GZ"), "");   // not hexadecimal
  EXPECT_EQ(DecodeStoredValue("null"), "");
}

TEST_F(PropertiesTest, UploadMethodFallsBackThroughBothFiles) {
  EXPECT_EQ(conf::UploadMethod(), "m1");
  Write("conf/l_c_config_01.properties", "upload_method=m2\n");
  EXPECT_EQ(conf::UploadMethod(), "m2");
  Write("conf/config.properties", "upload_method=m1\n");
  EXPECT_EQ(conf::UploadMethod(), "m1");
}

}  // namespace
