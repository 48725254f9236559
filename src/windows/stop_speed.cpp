#include "windows/stop_speed.h"

#include <ctime>

#include "core/data_base.h"
#include "ui/controls.h"
#include "windows/secondary_window.h"

CStopSpeed::CStopSpeed(QWidget* parent) : ui::CWindowWnd(parent) {
  m_now = [] { return static_cast<int64_t>(std::time(nullptr)); };
}

bool CStopSpeed::Create() { return ui::CWindowWnd::Create("StopSpeed.xml", "StopSpeedUI"); }

QString CStopSpeed::Elapsed(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return QString("%1天%2小时%3分钟%4秒")
      .arg(seconds / 86400)
      .arg(seconds / 3600 % 24)
      .arg(seconds / 60 % 60)
      .arg(seconds % 60);
}

void CStopSpeed::Fill() {
  CDataBase& data = CDataBase::Instance();
  Scores scores = data.GetScores();
  ui::SetText(FindControl("StopSpeed_SumScore_Lab"), QString::fromStdString(scores.total));
  ui::SetText(FindControl("StopSpeed_BandScore_Lab"), QString::fromStdString(scores.bandwidth));
  ui::SetText(FindControl("StopSpeed_ExpScore_Lab"), QString::fromStdString(scores.experience));
  ui::SetText(FindControl("StopSpeed_Count_Lab"), QString::number(data.autoScheduledCount.load()));
  ui::SetText(FindControl("StopSpeed_FCount_Lab"), QString::number(data.autoCompletedCount.load()));
  std::string last = data.LastResult();
  ui::SetText(FindControl("StopSpeed_Text"),
              QString::fromStdString(last.empty() ? CDataBase::kNoResultYet : last));
  // Without a start time nothing has elapsed yet.
  int64_t start = data.autoStartTime.load();
  ui::SetText(FindControl("StopSpeed_Time_Lab"), Elapsed(start > 0 ? m_now() - start : 0));
}

void CStopSpeed::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    Fill();
    SetTimer(kTimer, kRefreshMs);
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "StopSpeed_close_btn" || msg.senderName == "StopSpeed_OK_btn") {
      KillTimer(kTimer);
      Close(1);
    } else if (msg.senderName == "StopSpeed_NO_btn") {
      CDataBase& data = CDataBase::Instance();
      data.testBusy = 0;
      data.testRunEnabled = 0;
      KillTimer(kTimer);
      Close(2);
    }
  }
}

void CStopSpeed::OnTimer(int id) {
  if (id == kTimer) Fill();
}

void CStopSpeed::OnCloseRequest() {
  KillTimer(kTimer);
  Close(1);
}

int CStopSpeed::Show(QWidget* opener) {
  auto* w = new CStopSpeed(opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, std::nullopt, true);
}
