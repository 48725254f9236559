// The configuration editor, driven as a user would in a temporary program folder; what it
// writes is compared byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <string>
#include <vector>

#include "config_editor/tarnell_dlg.h"
#include "platform/codepage.h"
#include "test_support.h"

namespace {

std::string Gbk(const std::string& utf8) { return codepage::Utf8ToGbk(utf8); }

QStringList Items(QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// The file without its time stamp line (the second), which changes with every save.
std::string WithoutStamp(const std::string& text) {
  size_t first = text.find('\n');
  size_t second = text.find('\n', first + 1);
  if (first == std::string::npos || second == std::string::npos) return text;
  return text.substr(0, first + 1) + text.substr(second + 1);
}

class Tarnell : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CTarnellDlg::SetMessageHandler([this](const QString& text) { m_messages << text; });
  }
  void TearDown() override {
    CTarnellDlg::SetMessageHandler({});
    ProgramFolderTest::TearDown();
  }

  void WriteConfig(const std::string& utf8) { Write("conf/config.properties", Gbk(utf8)); }
  std::string Config() const { return Read("conf/config.properties"); }

  void Fill(CTarnellDlg& dlg, const QString& download, const QString& upload,
            const QString& method) {
    dlg.DownloadBox()->setEditText(download);
    dlg.UploadBox()->setEditText(upload);
    dlg.MethodBox()->setEditText(method);
  }

  QStringList m_messages;
};

const char* const kConfigBody =
    "update_server_url=BC1A4F566606197115EB0AAC7EEDC45B\n"
    "upload_method=m1\n"
    "app_name=测速/\n"
    "url_down_file=50MB.rar\n"
    "pre_date=2026-01-02 03\\:04\\:05\n"
    "upload_local_file_path=TestFile\\10MB.rar\n"
    "manual=0\n";

}  // namespace

TEST_F(Tarnell, OpensWithTheShippedValues) {
  CopyFromDist("conf/config.properties");
  CTarnellDlg dlg;
  EXPECT_EQ(dlg.windowTitle(), "设置");
  EXPECT_FALSE(dlg.windowIcon().isNull());
  EXPECT_EQ(dlg.findChild<QLabel*>("1005")->text(), "下载文件列表 :");
  EXPECT_EQ(dlg.findChild<QLabel*>("1006")->text(), "上传文件列表 :");
  EXPECT_EQ(dlg.findChild<QLabel*>("1007")->text(), "上传方法 ：");
  auto* save = dlg.findChild<QPushButton*>("1004");
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(save->text(), "保存");
  EXPECT_TRUE(save->isDefault());

  auto* download = dlg.findChild<QComboBox*>("1000");
  auto* upload = dlg.findChild<QComboBox*>("1001");
  auto* method = dlg.findChild<QComboBox*>("1008");
  ASSERT_TRUE(download && upload && method);
  EXPECT_TRUE(download->isEditable() && upload->isEditable() && method->isEditable());
  EXPECT_EQ(download->currentText(), "50MB.rar");
  EXPECT_EQ(Items(download), QStringList({"1KB.txt", "32KB.txt", "64KB.txt", "256KB.txt", "1MB.txt",
                                          "2MB.jpg", "4MB.jpg", "8MB.jpg", "12MB.jpg", "17MB.jpg",
                                          "23MB.jpg", "30MB.jpg", "56MB.exe", "133MB.rar"}));
  EXPECT_EQ(upload->currentText(), "10MB.rar");
  EXPECT_EQ(upload->count(), 0);  // filled when it drops down
  EXPECT_EQ(method->currentText(), "1 file 1 connect");
  EXPECT_EQ(Items(method), QStringList({"1 file 1 connect", "long connect"}));

  dlg.show();
  EXPECT_EQ(download->view()->sizeHintForRow(0), 20);
  EXPECT_EQ(method->view()->sizeHintForRow(1), 20);
}

TEST_F(Tarnell, ShowsStoredValuesInWords) {
  struct Case {
    const char* upload;
    const char* method;
    const char* shownUpload;
    const char* shownMethod;
  };
  const Case cases[] = {
      {"TestFile\\a.rar", "m2", "a.rar", "long connect"},
      {"plain.bin", "m3", "plain.bin", "m3"},
      {"TestFile/名字.rar", "", "名字.rar", ""},
      {"x\\y\\z.bin", "M1", "y\\z.bin", "M1"},
  };
  for (const Case& c : cases) {
    WriteConfig(std::string("url_down_file=8MB.jpg\nupload_local_file_path=") + c.upload +
                "\nupload_method=" + c.method + "\n");
    CTarnellDlg dlg;
    EXPECT_EQ(dlg.DownloadBox()->currentText(), "8MB.jpg");
    EXPECT_EQ(dlg.UploadBox()->currentText(), QString::fromUtf8(c.shownUpload)) << c.upload;
    EXPECT_EQ(dlg.MethodBox()->currentText(), QString::fromUtf8(c.shownMethod)) << c.method;
  }

  std::remove(At("conf/config.properties").c_str());
  CTarnellDlg missing;
  EXPECT_EQ(missing.DownloadBox()->currentText(), "null");
  EXPECT_EQ(missing.UploadBox()->currentText(), "null");
  EXPECT_EQ(missing.MethodBox()->currentText(), "null");
}

TEST_F(Tarnell, DropDownListsTheTestFolder) {
  WriteConfig(kConfigBody);
  Write("TestFile/b.txt", "x");
  Write("TestFile/A.bin", "x");
  Write("TestFile/.hidden", "x");
  Write("TestFile/子目录/inner.bin", "x");
  Write("TestFile/smile😀.bin", "x");  // GBK cannot hold it: it could not be stored
  CTarnellDlg dlg;
  dlg.show();
  dlg.UploadBox()->setEditText("typed.bin");
  dlg.UploadBox()->showPopup();
  EXPECT_EQ(Items(dlg.UploadBox()), QStringList({".hidden", "A.bin", "b.txt", "子目录"}));
  EXPECT_EQ(dlg.UploadBox()->currentText(), "typed.bin");
  dlg.UploadBox()->hidePopup();

  // Each drop-down reads the folder anew.
  std::remove(At("TestFile/b.txt").c_str());
  dlg.UploadBox()->setEditText("A.bin");
  dlg.UploadBox()->Refill();
  EXPECT_EQ(Items(dlg.UploadBox()), QStringList({".hidden", "A.bin", "子目录"}));
  EXPECT_EQ(dlg.UploadBox()->currentText(), "A.bin");

  ASSERT_EQ(std::system(("rm -rf '" + At("TestFile") + "'").c_str()), 0);
  dlg.UploadBox()->Refill();
  EXPECT_EQ(dlg.UploadBox()->count(), 0);
  EXPECT_EQ(dlg.UploadBox()->currentText(), "A.bin");
}

TEST_F(Tarnell, SavingChangesOnlyTheThreeLines) {
  const std::string header = "#user config\n#Mon Jan 05 10:00:00 CST 2026\n";
  Write("conf/config.properties", header + Gbk(kConfigBody));
  CTarnellDlg dlg;
  Fill(dlg, "133MB.rar", "测速样本.bin", "long connect");
  dlg.SaveButton()->click();
  EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("|").toStdString();
  const std::string expected =
      "#user config\n" + Gbk("update_server_url=BC1A4F566606197115EB0AAC7EEDC45B\n"
                             "upload_method=m2\n"
                             "app_name=测速/\n"
                             "url_down_file=133MB.rar\n"
                             "pre_date=2026-01-02 03\\:04\\:05\n"
                             "upload_local_file_path=TestFile\\测速样本.bin\n"
                             "manual=0\n");
  std::string saved = Config();
  EXPECT_EQ(WithoutStamp(saved), expected);
  std::string stamp = saved.substr(13, saved.find('\n', 13) - 13);
  EXPECT_EQ(stamp[0], '#');
  EXPECT_NE(stamp, "#Mon Jan 05 10:00:00 CST 2026");

  // A second save rewrites the file again; a name without a folder gains it; "=" and "#" are
  // stored as typed; an empty box saves the folder alone; words typed by hand stay as typed.
  Write("conf/config.properties", "#user config\n#old\n" + Gbk(kConfigBody));
  Fill(dlg, "a=b#c", "", "m3");
  dlg.SaveButton()->click();
  EXPECT_TRUE(m_messages.isEmpty());
  saved = Config();
  EXPECT_EQ(saved.find("#old"), std::string::npos);
  EXPECT_NE(saved.find("\nurl_down_file=a=b#c\n"), std::string::npos);
  EXPECT_NE(saved.find("\nupload_local_file_path=TestFile\\\n"), std::string::npos);
  EXPECT_NE(saved.find("\nupload_method=m3\n"), std::string::npos);

  Fill(dlg, "1KB.txt", "#x", "1 file 1 connect");
  dlg.SaveButton()->click();
  saved = Config();
  EXPECT_NE(saved.find("\nupload_local_file_path=TestFile\\#x\n"), std::string::npos);
  EXPECT_NE(saved.find("\nupload_method=m1\n"), std::string::npos);
  EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(Tarnell, MissingKeysAndFilesAreReported) {
  // The upload method is added where it is missing; the file names are not.
  WriteConfig("manual=0\nurl_down_file=x.bin\nupload_local_file_path=TestFile\\y.bin\n");
  CTarnellDlg dlg;
  Fill(dlg, "1MB.txt", "z.bin", "long connect");
  dlg.SaveButton()->click();
  EXPECT_TRUE(m_messages.isEmpty());
  EXPECT_EQ(
      WithoutStamp(Config()),
      "#user config\nmanual=0\nurl_down_file=1MB.txt\nupload_local_file_path=TestFile\\z.bin\n"
      "upload_method=m2\n");

  // A file name key missing: nothing is written, and the message names what is missing.
  WriteConfig("manual=0\nupload_method=m1\n");
  std::string before = Config();
  dlg.SaveButton()->click();
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains("下载文件列表"));
  EXPECT_TRUE(m_messages[0].contains("上传文件列表"));
  EXPECT_FALSE(m_messages[0].contains("上传方法"));
  EXPECT_EQ(Config(), before);

  // "null", shown for a missing key and saved back, is still reported as missing.
  m_messages.clear();
  WriteConfig("upload_local_file_path=TestFile\\b\nupload_method=m1\n");
  before = Config();
  Fill(dlg, "null", "b", "long connect");
  dlg.SaveButton()->click();
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains("下载文件列表"));
  EXPECT_FALSE(m_messages[0].contains("上传文件列表"));
  EXPECT_EQ(Config(), before);

  m_messages.clear();
  std::remove(At("conf/config.properties").c_str());
  dlg.SaveButton()->click();
  ASSERT_EQ(m_messages.size(), 1);
  for (const char* name : {"下载文件列表", "上传文件列表", "上传方法"})
    EXPECT_TRUE(m_messages[0].contains(QString::fromUtf8(name)));
  EXPECT_FALSE(testsupport::Exists(At("conf/config.properties")));
}

TEST_F(Tarnell, RefusesValuesTheFileCannotHold) {
  const std::string original = "#user config\n#stamp\n" + Gbk(kConfigBody);
  Write("conf/config.properties", original);
  CTarnellDlg dlg;
  struct Case {
    QString download, upload, method;
    const char* field;
  };
  const Case cases[] = {
      {"ok.rar", QString(250, 'n'), "m1", "上传文件列表"},
      {"line\nbreak.rar", "a.bin", "m1", "下载文件列表"},
      {"carriage\r.rar", "a.bin", "m1", "下载文件列表"},
      {"ok.rar", "a.bin", "long connect 😀", "上传方法"},
      // Short in characters, too long in GBK bytes: 23 + 9 + 2 * 112 = 256.
      {"ok.rar", QString(112, QChar(0x6D4B)), "m1", "上传文件列表"},
  };
  for (const Case& c : cases) {
    m_messages.clear();
    Fill(dlg, c.download, c.upload, c.method);
    dlg.SaveButton()->click();
    ASSERT_EQ(m_messages.size(), 1) << c.field;
    EXPECT_TRUE(m_messages[0].contains(QString::fromUtf8(c.field))) << m_messages[0].toStdString();
    for (const char* other : {"下载文件列表", "上传文件列表", "上传方法"}) {
      if (std::string(other) != c.field) {
        EXPECT_FALSE(m_messages[0].contains(QString::fromUtf8(other)))
            << m_messages[0].toStdString();
      }
    }
    EXPECT_EQ(Config(), original);
  }

  // A line break pasted into a box.
  m_messages.clear();
  Fill(dlg, "", "a.bin", "m1");
  QApplication::clipboard()->setText("two\nlines.rar");
  dlg.DownloadBox()->lineEdit()->paste();
  ASSERT_TRUE(dlg.DownloadBox()->currentText().contains('\n'));
  dlg.SaveButton()->click();
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains("下载文件列表"));
  EXPECT_EQ(Config(), original);

  // The longest line that still loads whole: "upload_local_file_path=TestFile\" and 223 bytes.
  m_messages.clear();
  Fill(dlg, "ok.rar", QString(223, 'n'), "m1");
  dlg.SaveButton()->click();
  EXPECT_TRUE(m_messages.isEmpty());
  EXPECT_NE(Config().find("TestFile\\" + std::string(223, 'n') + "\n"), std::string::npos);
}

TEST_F(Tarnell, ReadOnlyFileOrFolderIsLeftAlone) {
  const std::string original = "#user config\n#stamp\n" + Gbk(kConfigBody);
  Write("conf/config.properties", original);
  CTarnellDlg dlg;
  Fill(dlg, "1KB.txt", "a.bin", "long connect");

  ASSERT_EQ(chmod(At("conf/config.properties").c_str(), 0444), 0);
  dlg.SaveButton()->click();
  ASSERT_EQ(m_messages.size(), 1);
  for (const char* name : {"下载文件列表", "上传文件列表", "上传方法"})
    EXPECT_TRUE(m_messages[0].contains(QString::fromUtf8(name)));
  EXPECT_EQ(Config(), original);

  m_messages.clear();
  ASSERT_EQ(chmod(At("conf/config.properties").c_str(), 0644), 0);
  ASSERT_EQ(chmod(At("conf").c_str(), 0555), 0);
  dlg.SaveButton()->click();
  EXPECT_EQ(m_messages.size(), 1);
  EXPECT_EQ(Config(), original);
  ASSERT_EQ(chmod(At("conf").c_str(), 0755), 0);
}

TEST_F(Tarnell, KeysSaveOrCloseAsInADialog) {
  WriteConfig(kConfigBody);
  const std::string original = Config();
  {
    CTarnellDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QLineEdit* edit = dlg.DownloadBox()->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "new.rar");
    QTest::keyClick(dlg.DownloadBox(), Qt::Key_Return);
    EXPECT_NE(Config().find("\nurl_down_file=new.rar\n"), std::string::npos);
    EXPECT_EQ(dlg.DownloadBox()->count(), 14);  // typed text never joins the list
    EXPECT_TRUE(dlg.isVisible());               // the dialog stays open

    WriteConfig(kConfigBody);
    dlg.MethodBox()->setEditText("long connect");
    QTest::keyClick(dlg.MethodBox(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(Config(), original);
  }
  {
    CTarnellDlg dlg;
    dlg.show();
    dlg.MethodBox()->setEditText("long connect");
    dlg.close();
    EXPECT_EQ(Config(), original);
  }
  EXPECT_TRUE(m_messages.isEmpty());
}

// The real program, under a virtual display, driven with keys as a person would.
TEST_F(Tarnell, RealProgramSavesAndCloses) {
  int status = 0;
  testsupport::CommandOutput("command -v xvfb-run && command -v xdotool", &status);
  if (status != 0) GTEST_SKIP() << "xvfb-run or xdotool missing";
  WriteConfig(kConfigBody);
  const std::string program = testsupport::DistPath("Tarnell");
  Write("tmp/drive.sh", "QT_QPA_PLATFORM=xcb '" + program +
                            "' & pid=$!\n"
                            "wid=$(timeout 30 xdotool search --sync --name '^设置$' | head -1)\n"
                            "[ -n \"$wid\" ] || { kill $pid; echo no window; exit 1; }\n"
                            "xdotool windowfocus --sync $wid\n"
                            "xdotool key ctrl+a\n"
                            "xdotool type '8MB.jpg'\n"
                            "xdotool key Return\n"
                            "timeout 30 sh -c 'until grep -q url_down_file=8MB.jpg "
                            "conf/config.properties; do sleep 0.1; done'\n"
                            "xdotool key Escape\n"
                            "wait $pid\n"
                            "echo exit=$?\n");
  const std::string list = "cd '" + m_folder + "' && find . | sort";
  const std::string before = testsupport::CommandOutput(list);
  std::string out = testsupport::CommandOutput(
      "cd '" + m_folder + "' && timeout 120 xvfb-run -a sh tmp/drive.sh 2>/dev/null");
  EXPECT_NE(out.find("exit=0"), std::string::npos) << out;
  EXPECT_NE(Config().find("\nurl_down_file=8MB.jpg\n"), std::string::npos);
  // It works in the folder it was started in and leaves nothing else behind.
  EXPECT_EQ(testsupport::CommandOutput(list), before);
}
