// Renders the history page in its states to PNG files, for people to look at:
//   kestrane-screenshots-history <Skin.zip> <output folder>
// The page stands alone in a small host window over a history database of its own.

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "core/data_base.h"
#include "history/history_form.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/tools/shot_session.h"

namespace {

using ui::tools::ShotSession;
ShotSession* g_shots = nullptr;

void Save(QWidget& w, const char* name) {
  ShotSession::Pump(150);
  g_shots->Save(w.grab().toImage(), name);
}

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 <widget class="History_Record" name="History_Record_Form">
  <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 </widget>
</widget></ui>)";

// A hundred results of every kind, oldest first, as the engines write them.
void FillHistory() {
  CSqliteDb db(history::CurrentDatabasePath());
  const char* pages[] = {"http://www.sina.com.cn/", "http://www.sohu.com/", "http://www.163.com/"};
  const char* videos[] = {"优酷", "土豆", "酷6"};
  for (int i = 0; i < 100; ++i) {
    HistoryRecordData row;
    char time[32];
    std::snprintf(time, sizeof time, "2026-12-%02d %02d:%02d:%02d", 1 + i / 24, i % 24,
                  (i * 7) % 60, (i * 13) % 60);
    row.SpeedTime = time;
    row.sType = i % 3 == 0 ? "手动" : "自动";
    char quota[32];
    switch (i % 5) {
      case 0:
        row.SpeedType = "带宽测速";
        row.sName = "北京电信";
        std::snprintf(quota, sizeof quota, "%.1fMb/s", 40.0 + (i % 17) * 3.3);
        break;
      case 1:
        row.SpeedType = "网页测速";
        row.sName = pages[i % 3];
        std::snprintf(quota, sizeof quota, "%.2f s", 0.4 + (i % 9) * 0.17);
        break;
      case 2:
        row.SpeedType = "视频测速";
        row.sName = videos[i % 3];
        std::snprintf(quota, sizeof quota, "%d KB/s", 900 + (i % 11) * 123);
        break;
      case 3:
        row.SpeedType = "文件下载";
        row.sName = "10MB测试文件";
        std::snprintf(quota, sizeof quota, "%d KB/s", 4000 + (i % 13) * 321);
        break;
      default:
        row.sType = "自动";
        row.SpeedType = "自动测速";
        row.sName = "无效数据";
        std::snprintf(quota, sizeof quota, "CPU使用率 > %d%%", 80);
        break;
    }
    row.sQuota = quota;
    db.AddRecord(row);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ShotSession shots(argc, argv);
  if (const int code = shots.Start()) return code;
  g_shots = &shots;
  QDir().mkpath("Config");
  QDir().mkpath("DB");
  QFile settings("Config/settings10001.xml");
  if (settings.open(QIODevice::WriteOnly))
    settings.write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks/><history><bsave>true</bsave>"
        "</history></settings>");
  settings.close();
  UserInfo user;
  user.userId = "10001";
  CDataBase::Instance().SetUserInfo(user);

  CHistoryForm* page = nullptr;
  QWidget* host = ui::CDialogBuilder::CreateFromText(
      kHost,
      [&page](const QString& cls, QWidget* parent) -> QWidget* {
        if (cls != CHistoryForm::kPageClass) return nullptr;
        page = CHistoryForm::Build(parent);
        return page;
      },
      nullptr);
  if (!host || !page) {
    std::fprintf(stderr, "cannot build the history page\n");
    return 1;
  }
  host->show();
  page->OnShown();
  Save(*host, "history-empty");

  FillHistory();
  page->OnShown();
  Save(*host, "history-100-rows");

  page->SendNotify(ui::kClick, page->FindControl("History_Search_btn"));
  ui::SetText(page->FindControl("Histroy_Sel_edit"), "KB/s");
  page->RefreshHistory("KB/s");
  Save(*host, "history-search");

  delete host;
  return shots.Finish();
}
