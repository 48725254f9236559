#include "windows/speed_hit_form.h"

#include "auto/settings_files.h"
#include "ui/controls.h"
#include "windows/secondary_window.h"

CSpeedHitForm::CSpeedHitForm(QWidget* parent) : ui::CWindowWnd(parent) {}

bool CSpeedHitForm::Create() { return ui::CWindowWnd::Create("SpeedHitForm.xml", "SpeedHitUI"); }

void CSpeedHitForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType != ui::kClick) return;
  if (msg.senderName == "SpeedHit_OK_btn") {
    if (ui::GetCheck(FindControl("SpeedHit_HIT_check"))) settings::SetHintSuppressed();
    Close(1);
  } else if (msg.senderName == "SpeedHit_close_btn") {
    Close(2);
  }
}

int CSpeedHitForm::Show(QWidget* opener) {
  auto* w = new CSpeedHitForm(opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, std::nullopt, true);
}
