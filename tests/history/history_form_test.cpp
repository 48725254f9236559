// The history page standing alone in a host window whose builder callback makes it, as the
// main window does, driven with keys and clicks over a real history database.

#include "history/history_form.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTableView>
#include <QtTest/QTest>
#include <memory>

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "history/history_record.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/skin.h"

namespace {

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 <widget class="History_Record" name="History_Record_Form">
  <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 </widget>
</widget></ui>)";

std::string Settings(const char* bsave) {
  std::string history = bsave ? std::string("<history><bsave>") + bsave + "</bsave></history>" : "";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks/>" + history + "</settings>";
}

class HistoryPage : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("Skin.zip");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    UserInfo user;
    user.userId = "1234";
    CDataBase::Instance().SetUserInfo(user);
    Write("Config\\settings1234.xml", Settings("true"));
    m_host.reset(ui::CDialogBuilder::CreateFromText(
        kHost,
        [this](const QString& cls, QWidget* parent) -> QWidget* {
          if (cls != CHistoryForm::kPageClass) return nullptr;
          m_page = CHistoryForm::Build(parent);
          return m_page;
        },
        nullptr));
    ASSERT_NE(m_host, nullptr);
    ASSERT_NE(m_page, nullptr);
    EXPECT_EQ(CHistoryForm::Instance(), m_page);
    m_host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
  }
  void TearDown() override {
    m_host.reset();
    EXPECT_EQ(CHistoryForm::Instance(), nullptr);
    CDataBase::Instance().SetUserInfo(UserInfo{});
    ProgramFolderTest::TearDown();
  }

  // Rows oldest first; row i has the time "2026-12-01 10:00:<i>" and a rate of i KB/s.
  void AddRows(int n, int from = 0) {
    CSqliteDb db(history::DatabasePath("1234"));
    for (int i = from; i < from + n; ++i) {
      HistoryRecordData row{
          "2026-12-01 10:" + std::to_string(10 + i / 60) + ":" + std::to_string(10 + i % 60),
          i % 2 ? "自动" : "手动", "文件下载", "文件" + std::to_string(i),
          std::to_string(1000 + i) + " KB/s"};
      ASSERT_GE(db.AddRecord(row), 0);
    }
  }

  QTableView* List() { return m_page->Find<QTableView>("History_Record_list"); }
  int Rows() { return List()->model()->rowCount(); }
  QString Cell(int r, int c) { return List()->model()->index(r, c).data().toString(); }
  QString Total() { return ui::Text(m_page->FindControl("History_Total_lab")); }
  QLineEdit* Edit() { return m_page->Find<QLineEdit>("Histroy_Sel_edit"); }
  QAbstractButton* Keep() { return m_page->Find<QAbstractButton>("Set_AutoSpeed_check"); }
  // Typed as an input method commits it, as Chinese text is typed.
  void Type(const QString& text) {
    Edit()->setFocus();
    Edit()->clear();
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(Edit(), &commit);
  }

  std::unique_ptr<QWidget> m_host;
  CHistoryForm* m_page = nullptr;
};

TEST_F(HistoryPage, ListsEveryRowNewestFirstWithItsTotal) {
  m_page->OnShown();
  EXPECT_EQ(Rows(), 0);
  EXPECT_EQ(Total(), "总数为： 0");

  AddRows(100);
  m_page->OnShown();
  ASSERT_EQ(Rows(), 100);
  EXPECT_EQ(Total(), "总数为： 100");
  EXPECT_EQ(List()->model()->columnCount(), 5);
  // Newest first, every column in its place, rows 30 pixels high.
  EXPECT_EQ(Cell(0, 3), "文件99");
  EXPECT_EQ(Cell(99, 3), "文件0");
  EXPECT_EQ(Cell(0, 0), "2026-12-01 10:11:49");
  EXPECT_EQ(Cell(0, 1), "自动");
  EXPECT_EQ(Cell(0, 2), "文件下载");
  EXPECT_EQ(Cell(0, 4), "1099 KB/s");
  EXPECT_EQ(List()->rowHeight(0), 30);
  EXPECT_EQ(List()->rowHeight(99), 30);
  // The list callback yields nothing outside the five columns and the rows read.
  EXPECT_EQ(m_page->Model()->GetItemText(0, 5), "");
  EXPECT_EQ(m_page->Model()->GetItemText(100, 0), "");
  EXPECT_EQ(m_page->Model()->GetItemText(-1, 0), "");

  // The store keeps a hundred rows: one more pushes the oldest out.
  AddRows(1, 100);
  m_page->OnShown();
  EXPECT_EQ(Rows(), 100);
  EXPECT_EQ(Cell(0, 3), "文件100");
  EXPECT_EQ(Cell(99, 3), "文件1");
}

TEST_F(HistoryPage, SearchFindsTextInAnyColumnAndNothingElse) {
  AddRows(30);
  m_page->OnShown();
  ASSERT_EQ(Total(), "总数为： 30");

  // The rate is only in sQuota.
  Type("1017 KB");
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(Cell(0, 3), "文件17");
  EXPECT_EQ(Total(), "总数为： 1");

  // Found rows come in the database's own order, oldest first.
  Type("文件2");
  ASSERT_EQ(Rows(), 11);
  EXPECT_EQ(Cell(0, 3), "文件2");
  EXPECT_EQ(Cell(1, 3), "文件20");

  // Nothing matches: an empty list counts 0, not the old total.
  Type("没有这一行");
  EXPECT_EQ(Rows(), 0);
  EXPECT_EQ(Total(), "总数为： 0");

  // A text written to break out of the statement is just text: it finds nothing, drops nothing.
  Type("x'; delete from tHistoryRecord; --");
  EXPECT_EQ(Rows(), 0);
  Type("' or '1'='1");
  EXPECT_EQ(Rows(), 0);

  // Clearing the text lists every row again.
  Edit()->selectAll();
  QTest::keyClick(Edit(), Qt::Key_Backspace);
  EXPECT_EQ(Rows(), 30);
  EXPECT_EQ(Total(), "总数为： 30");
  EXPECT_EQ(Cell(0, 3), "文件29");

  // Coming back to the tab forgets the search.
  Type("文件1");
  EXPECT_LT(Rows(), 30);
  m_page->OnShown();
  EXPECT_EQ(Edit()->text(), "");
  EXPECT_EQ(Rows(), 30);
}

TEST_F(HistoryPage, LongCellsAreCutAndOddTextsShowAsStored) {
  {
    CSqliteDb db(history::DatabasePath("1234"));
    ASSERT_GE(db.AddRecord({"2026-12-01 10:00:00", "自动", "网页测速",
                            "http://x.y/" + std::string(300, 'p'), "<b>&amp;\"' 中文"}),
              0);
  }
  m_page->OnShown();
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(Cell(0, 3).size(), 259);
  EXPECT_TRUE(Cell(0, 3).startsWith("http://x.y/ppp"));
  EXPECT_EQ(Cell(0, 4), "<b>&amp;\"' 中文");
}

TEST_F(HistoryPage, SearchButtonShowsAndHidesTheBar) {
  QWidget* top = m_page->FindControl("History_top_ver");
  QWidget* bar = m_page->FindControl("History_Search_ver");
  QWidget* list = List();
  QApplication::processEvents();
  const int height = top->height();
  const int listTop = list->y();
  EXPECT_FALSE(bar->isVisible());
  auto* button = m_page->Find<QAbstractButton>("History_Search_btn");
  QTest::mouseClick(button, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(top->height(), height + 30);
  EXPECT_EQ(list->y(), listTop + 30) << "the list makes room for the bar";
  QTest::mouseClick(button, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(top->height(), height);
  EXPECT_EQ(list->y(), listTop);
}

TEST_F(HistoryPage, KeepSwitchShowsWhatTheSettingsHold) {
  const std::string file = "Config\\settings1234.xml";
  m_page->OnShown();
  EXPECT_TRUE(Keep()->isChecked());
  QTest::mouseClick(Keep(), Qt::LeftButton);
  EXPECT_FALSE(Keep()->isChecked());
  EXPECT_FALSE(settings::IsHistoryKept(file));
  QTest::mouseClick(Keep(), Qt::LeftButton);
  EXPECT_TRUE(Keep()->isChecked());
  EXPECT_TRUE(settings::IsHistoryKept(file));

  // Without `bsave` nothing can be stored: the box stays unticked after a click.
  Write(file, Settings(nullptr));
  m_page->OnShown();
  EXPECT_FALSE(Keep()->isChecked());
  QTest::mouseClick(Keep(), Qt::LeftButton);
  EXPECT_FALSE(Keep()->isChecked());
  EXPECT_EQ(Read(file), Settings(nullptr));

  // The automatic testing switch is not touched by this box.
  Write("conf\\config.properties", "#user config\n#x\nmanual=0\n");
  Write(file, Settings("false"));
  m_page->OnShown();
  QTest::mouseClick(Keep(), Qt::LeftButton);
  EXPECT_TRUE(settings::IsHistoryKept(file));
  EXPECT_EQ(Read("conf\\config.properties"), "#user config\n#x\nmanual=0\n");
}

TEST_F(HistoryPage, AnUnreadableDatabaseShowsAnEmptyList) {
  AddRows(5);
  m_page->OnShown();
  ASSERT_EQ(Rows(), 5);
  Write("DB\\Data1234.db", std::string(4096, 'x'));
  m_page->OnShown();
  EXPECT_EQ(Rows(), 0);
  EXPECT_EQ(Total(), "总数为： 0");
  Type("x");
  EXPECT_EQ(Rows(), 0);

  // Before a login no database is opened (or made).
  CDataBase::Instance().SetUserInfo(UserInfo{});
  m_page->OnShown();
  EXPECT_EQ(Rows(), 0);
  EXPECT_FALSE(testsupport::Exists(At("DB/Data.db")));
}

}  // namespace
