#include "windows/speed_explanation_form.h"

CSpeedExplanationForm::CSpeedExplanationForm(QWidget* parent) : ui::CWindowWnd(parent) {}

bool CSpeedExplanationForm::Create() {
  return ui::CWindowWnd::Create("SpeedExplanation.xml", "ExplanationForm");
}

void CSpeedExplanationForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kClick &&
      (msg.senderName == "Explanation_close_btn" || msg.senderName == "Explanation_OK_btn"))
    Close(1);
}
