#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "test_support.h"
#include "update_client/update_manifest.h"

namespace {

using testsupport::CommandOutput;
using testsupport::ReadFile;
using testsupport::SourcePath;

std::string Walk(const UpdateManifest& m, const std::string& installed) {
  std::vector<UpdateFileEntry> files;
  std::string display;
  CollectManifestFiles(m, installed, files, &display);
  std::string out;
  for (const auto& f : files)
    out += f.localPath + " " + f.serverPath + " " + f.digest + " " + f.size + "\n";
  return out + "display=" + display + "\n";
}

TEST(UpdateManifest, TypicalManifestWalksAsTheGoldenFilesSay) {
  UpdateManifest m;
  ASSERT_TRUE(m.Load(SourcePath("tests/update_client/data/typical.xml")));
  EXPECT_EQ(m.RootName(), "updates");
  EXPECT_EQ(m.Version(), "1.0.3");  // the first "Version" counts
  EXPECT_EQ(m.NotesText(), "1. 修正了带宽测试的计时\n2. New video sites\n");
  for (const char* installed : {"1.0.0", "1.0.1", "1.0.3", "0.9"}) {
    SCOPED_TRACE(installed);
    EXPECT_EQ(Walk(m, installed),
              ReadFile(SourcePath(std::string("tests/update_client/data/typical_after_") +
                                  installed + ".txt")));
  }
  EXPECT_EQ(m.VersionTextForId("102"), "1.0.2");
  EXPECT_EQ(m.VersionTextForId(" 102"), "");  // compared as text
  EXPECT_EQ(m.VersionTextForId("104"), "");
}

TEST(UpdateManifest, EarlierEntriesOfTheSameProcessAreKeptOrRenewed) {
  // The list of a long-lived updater keeps what earlier passes found.
  UpdateManifest m;
  ASSERT_TRUE(m.Parse(R"(<r><versions><versionid a="5">5</versionid></versions>
      <versions><versionid a="6">6</versionid><File a="6" serpath="s6" localpath="x" verify="d6"/></versions>
      <versions><versionid a="7">7</versionid><File a="7" serpath="s7" localpath="Kestrane" verify="k"/></versions>
      </r>)"));
  std::vector<UpdateFileEntry> files = {{"old", "x", "d", "1"}, {"keep", "y", "e", "2"}};
  std::string display = "before";
  CollectManifestFiles(m, "5", files, &display);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].serverPath, "s6");
  EXPECT_EQ(files[0].size, "");
  EXPECT_EQ(files[1].serverPath, "keep");
  EXPECT_EQ(files[2].localPath, "Kestrane");
  EXPECT_EQ(display, "7");
  // A File with the installed id is not taken.
  files.clear();
  display.clear();
  CollectManifestFiles(m, "7", files, &display);
  EXPECT_TRUE(files.empty());
  EXPECT_EQ(display, "");
}

TEST(UpdateManifest, IdsAreReadAsDecimalNumbers) {
  EXPECT_EQ(ManifestIdValue("102"), 102);
  EXPECT_EQ(ManifestIdValue("  7abc"), 7);
  EXPECT_EQ(ManifestIdValue("-3"), -3);
  EXPECT_EQ(ManifestIdValue("x"), 0);
  EXPECT_EQ(ManifestIdValue(""), 0);
  EXPECT_EQ(ManifestIdValue("99999999999999999999999"), INT64_MAX);
}

TEST(UpdateManifest, GbkManifestsBecomeUtf8) {
  const std::string notes =
      "<r><Version>2.0</Version><UpdateInfo><note>新版本</note>"
      "<note/><note>第三</note></UpdateInfo></r>";
  UpdateManifest declared;
  ASSERT_TRUE(
      declared.Parse("<?xml version=\"1.0\" encoding=\"GB2312\"?>" + codepage::Utf8ToGbk(notes)));
  EXPECT_EQ(declared.NotesText(), "新版本\n\n第三\n");
  // Undeclared, but not UTF-8: GBK all the same.
  UpdateManifest undeclared;
  ASSERT_TRUE(undeclared.Parse(codepage::Utf8ToGbk(notes)));
  EXPECT_EQ(undeclared.NotesText(), "新版本\n\n第三\n");
  // UTF-8 with a byte-order mark stays as it is.
  UpdateManifest bom;
  ASSERT_TRUE(bom.Parse("\xEF\xBB\xBF" + notes));
  EXPECT_EQ(bom.Notes().front(), "新版本");
  EXPECT_EQ(bom.Version(), "2.0");
}

TEST(UpdateManifest, BadInputIsRefusedQuickly) {
  auto start = std::chrono::steady_clock::now();
  UpdateManifest m;
  EXPECT_FALSE(m.Parse(""));
  EXPECT_FALSE(m.Parse("not xml"));
  EXPECT_FALSE(m.Parse("<r><Version>1</Version>"));  // cut short
  EXPECT_FALSE(m.Parse("<r><Version>1</r>"));
  EXPECT_FALSE(m.Parse(std::string(200000, '<')));
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  EXPECT_FALSE(m.Parse(deep));
  std::string attrs = "<r><File";
  for (int i = 0; i < 300000; ++i) attrs += " a" + std::to_string(i) + "=\"\"";
  EXPECT_FALSE(m.Parse(attrs + "/></r>"));
  std::string large =
      "<r><Version>1</Version><x>" + std::string(UpdateManifest::kMaxBytes, 'x') + "</x></r>";
  EXPECT_FALSE(m.Parse(large));
  EXPECT_FALSE(m.Parsed());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  // Quoted ">" and "/>" inside attribute values do not upset the nesting count.
  ASSERT_TRUE(m.Parse(R"(<r><Version>3</Version><versions><versionid a="1>/>">1</versionid>
      <File a="2" serpath="a/>b" localpath="l"/></versions><!-- <x> --></r>)"));
  ASSERT_EQ(m.Items().size(), 2u);
  EXPECT_EQ(m.Items()[1].serverPath, "a/>b");
  // A manifest without "Version" parses, with an empty version.
  ASSERT_TRUE(m.Parse("<r><UpdateInfo/></r>"));
  EXPECT_FALSE(m.HasVersion());
  EXPECT_EQ(m.Version(), "");
  EXPECT_FALSE(m.Load("no/such/file.xml"));
}

TEST(UpdateManifest, Md5OfFiles) {
  char tmpl[] = "/tmp/kestrane-md5-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  testsupport::WriteFile(dir + "/abc", "abc");
  std::string big(10000, 'q');  // more than one block of 4096
  testsupport::WriteFile(dir + "/big", big);
  EXPECT_EQ(FileMd5Hex(dir + "/abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(FileMd5Hex(dir + "/big"),
            CommandOutput("md5sum " + dir + "/big | cut -c1-32 | tr -d '\\n'"));
  EXPECT_EQ(FileMd5Hex(dir + "/none"), "");
  EXPECT_EQ(FileMd5Hex(dir), "");  // a folder reads as nothing
  CommandOutput("rm -rf " + dir);
}

TEST(UpdateManifest, SignaturesMadeByOpensslVerify) {
  char tmpl[] = "/tmp/kestrane-sig-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::string message = "<r><Version>1.0.1</Version></r>\n";
  testsupport::WriteFile(dir + "/m.xml", message);
  int status = 0;
  std::string out = CommandOutput(
      "cd " + dir +
          " && openssl genpkey -algorithm ed25519 -out key.pem 2>&1"
          " && openssl pkey -in key.pem -pubout -outform DER -out pub.der 2>&1"
          " && openssl pkeyutl -sign -inkey key.pem -rawin -in m.xml -out m.sig.bin 2>&1",
      &status);
  ASSERT_EQ(status, 0) << out;
  std::string key = CommandOutput("tail -c 32 " + dir + "/pub.der | od -An -v -tx1 | tr -d ' \\n'");
  std::string sig = CommandOutput("od -An -v -tx1 " + dir + "/m.sig.bin | tr -d ' \\n'");
  ASSERT_EQ(key.size(), 64u);
  ASSERT_EQ(sig.size(), 128u);

  EXPECT_TRUE(VerifyEd25519Signature(key, message, sig));
  EXPECT_TRUE(VerifyEd25519Signature(key, message, sig + "\n"));
  std::string upper = sig;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(VerifyEd25519Signature(key, message, upper));

  std::string flipped = message;
  flipped[5] ^= 0x01;
  EXPECT_FALSE(VerifyEd25519Signature(key, flipped, sig));
  std::string badSig = sig;
  badSig[10] = badSig[10] == '0' ? '1' : '0';
  EXPECT_FALSE(VerifyEd25519Signature(key, message, badSig));
  EXPECT_FALSE(VerifyEd25519Signature(key, message, sig.substr(2)));
  EXPECT_FALSE(VerifyEd25519Signature(key.substr(0, 62) + "zz", message, sig));
  EXPECT_FALSE(VerifyEd25519Signature("", message, sig));
  CommandOutput("rm -rf " + dir);
}

}  // namespace
