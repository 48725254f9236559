#include "windows/speed_explanation_form.h"

#include "windows/secondary_window.h"

CSpeedExplanationForm::CSpeedExplanationForm(QWidget* parent) : ui::CWindowWnd(parent) {}

bool CSpeedExplanationForm::Create() {
  return ui::CWindowWnd::Create("SpeedExplanation.xml", "ExplanationForm");
}

void CSpeedExplanationForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kClick &&
      (msg.senderName == "Explanation_close_btn" || msg.senderName == "Explanation_OK_btn"))
    Close(1);
}

int CSpeedExplanationForm::Show(QWidget* opener) {
  auto* w = new CSpeedExplanationForm(opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, QPoint(120, 220));
}
