#include "windows/quit_form.h"

#include "ui/controls.h"
#include "windows/quit_actions.h"
#include "windows/secondary_window.h"

CQuitForm::CQuitForm(const QString& text, QWidget* parent) : ui::CWindowWnd(parent), m_text(text) {}

bool CQuitForm::Create() { return ui::CWindowWnd::Create("QuitForm.xml", "QuitUI"); }

int CQuitForm::Show(QWidget* opener, const QString& text, std::optional<QPoint> at) {
  auto* w = new CQuitForm(text, opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, at);
}

void CQuitForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    ui::SetText(FindControl("Quit_Content_text"), m_text);
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "Quit_close_btn" || msg.senderName == "Quit_NO_btn") {
      Close(2);
    } else if (msg.senderName == "Quit_OK_btn") {
      if (m_text == kQuitText) {
        quit::QuitProgram();
      } else {
        quit::LogOff();
      }
      Close(1);
    }
  }
}
