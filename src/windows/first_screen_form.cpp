#include "windows/first_screen_form.h"

#include "core/data_base.h"
#include "ui/controls.h"
#include "windows/secondary_window.h"

CFirstScreenForm::CFirstScreenForm(const QString& text, QWidget* parent)
    : ui::CWindowWnd(parent), m_text(text) {}

bool CFirstScreenForm::Create() {
  return ui::CWindowWnd::Create("FirstScreen.xml", "FirstScreenUI");
}

void CFirstScreenForm::ShowModeless() {
  SetDeleteOnClose(true);
  SetTopmost(true);
  setWindowFlag(Qt::WindowDoesNotAcceptFocus, true);
  ShowWindow(true, false);
}

void CFirstScreenForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    ui::SetText(FindControl("FirstS_Time_lab"), m_text);
  } else if (msg.sType == ui::kClick && msg.senderName == "FirstS_close_btn") {
    CDataBase::Instance().testBusy = 0;
    Close(1);
  }
}

void CFirstScreenForm::OnCloseRequest() {
  CDataBase::Instance().testBusy = 0;
  Close(1);
}

int CFirstScreenForm::Show(QWidget* opener, const QString& text) {
  auto* w = new CFirstScreenForm(text, opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, std::nullopt);
}
