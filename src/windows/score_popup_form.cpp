#include "windows/score_popup_form.h"

#include "core/data_base.h"
#include "core/properties_file.h"
#include "ui/controls.h"
#include "windows/secondary_window.h"
#include "windows/user_page.h"

CScorePopupForm::CScorePopupForm(QWidget* parent) : ui::CWindowWnd(parent) {
  m_now = [] { return QDateTime::currentDateTime(); };
  m_openPage = [this](const std::string& type) { OpenUserPage(type, parentWidget()); };
}

bool CScorePopupForm::Create() {
  return ui::CWindowWnd::Create("score_Bombbox.xml", "ScorePopupUI");
}

QString CScorePopupForm::Greeting(const QTime& time) {
  return QString("尊敬的Veltrane用户，%1好!").arg(time.hour() <= 11 ? "上午" : "下午");
}

QString CScorePopupForm::LastLoginText(const std::string& stored) {
  if (stored.empty()) return "上次登录:您是第一次登录";
  // The stored stamp escapes its colons as "\:"; only that backslash goes.
  QString shown = QString::fromStdString(stored);
  shown.replace("\\:", ":");
  return "上次登录:" + shown;
}

std::string CScorePopupForm::PreviousLoginStamp() {
  if (auto kept = CDataBase::Instance().PreviousLogin()) return *kept;
  return conf::Read(conf::kUser, "pre_date");
}

void CScorePopupForm::Fill() {
  CDataBase& data = CDataBase::Instance();
  UserInfo user = data.GetUserInfo();
  Scores scores = data.GetScores();
  ui::SetText(FindControl("Bombox_Caption_Lab"), Greeting(m_now().time()));
  ui::SetText(FindControl("Bombox_UserID_Lab"), QString::fromStdString(user.userId));
  ui::SetText(FindControl("Bombox_UserName_Lab"), QString::fromStdString(user.nickname));
  ui::SetText(FindControl("Bombox_SumScore_Lab"), QString::fromStdString(scores.total));
  ui::SetText(FindControl("Bombox_BandScore_Lab"), QString::fromStdString(scores.bandwidth));
  ui::SetText(FindControl("Bombox_ExpScore_Lab"), QString::fromStdString(scores.experience));
  ui::SetText(FindControl("Bombox_Lasttime_Lab"), LastLoginText(PreviousLoginStamp()));
}

void CScorePopupForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    Fill();
    m_ticks = 0;
    SetTimer(kTimer, m_tickMs);
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "Bombox_close_btn") {
      KillTimer(kTimer);
      Close(1);
    } else if (msg.senderName == "Bombox_Sel_btn") {
      KillTimer(kTimer);
      m_openPage("score");
      Close(1);
    }
  }
}

void CScorePopupForm::OnTimer(int id) {
  if (id != kTimer) return;
  if (++m_ticks >= kLifeTicks) {
    KillTimer(kTimer);
    Close(1);
  }
}

int CScorePopupForm::Show(QWidget* mainWindow) {
  auto* w = new CScorePopupForm(mainWindow);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  w->SetDeleteOnClose(true);
  w->SetTopmost(true);
  windows::PlaceBottomRight(*w);
  return w->ShowModal();
}
