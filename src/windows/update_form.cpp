#include "windows/update_form.h"

#include "ui/controls.h"
#include "windows/secondary_window.h"

CUpdateForm::CUpdateForm(const QString& notes, QWidget* parent)
    : ui::CWindowWnd(parent), m_notes(notes) {}

bool CUpdateForm::Create() { return ui::CWindowWnd::Create("Update.xml", "cUpdate"); }

void CUpdateForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    if (!m_notes.isEmpty()) ui::SetText(FindControl("Update_Content_RichEdit"), m_notes);
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "Update_OK_btn") {
      m_chosen = true;
      Close(1);
    } else if (msg.senderName == "Update_close_btn" || msg.senderName == "Update_NO_btn") {
      Close(2);
    }
  }
}

int CUpdateForm::Show(QWidget* opener, const QString& notes) {
  auto* w = new CUpdateForm(notes, opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, QPoint(100, 210));
}
