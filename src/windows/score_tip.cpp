#include "windows/score_tip.h"

#include <QPointer>

#include "core/data_base.h"
#include "ui/controls.h"
#include "windows/quit_form.h"
#include "windows/secondary_window.h"

CScoreTip::CScoreTip(QWidget* mainWindow) : ui::CWindowWnd(mainWindow), m_main(mainWindow) {
  m_askQuit = [](QWidget* main, const QString& text, QPoint at) {
    return CQuitForm::Show(main, text, at);
  };
}

bool CScoreTip::Create() { return ui::CWindowWnd::Create("score_tip.xml", "SorceAdd"); }

void CScoreTip::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    CDataBase& data = CDataBase::Instance();
    Scores scores = data.GetScores();
    ui::SetText(FindControl("Sorce_UserName_Lab"),
                QString::fromStdString(data.GetUserInfo().nickname));
    ui::SetText(FindControl("Sorce_sumSorce_Lab"), QString::fromStdString(scores.total));
    ui::SetText(FindControl("Sorce_Bandwidth_Lab"), QString::fromStdString(scores.bandwidth));
    ui::SetText(FindControl("Sorce_UserSorce_Lab"), QString::fromStdString(scores.experience));
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "Set_close_btn") {
      Close(1);
    } else if (msg.senderName == "Sorce_Cancellation_btn") {
      m_askQuit(m_main, CQuitForm::kLogOffText, kQuitAt);
    }
  }
}

int CScoreTip::Show(QWidget* mainWindow) {
  auto* w = new CScoreTip(mainWindow);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, mainWindow, std::nullopt);
}
