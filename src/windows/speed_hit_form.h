#pragma once

#include "ui/window.h"

// The start-up hint ("SpeedHitForm.xml", window name "SpeedHitUI") with its don't-show-again
// box.
class CSpeedHitForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CSpeedHitForm(QWidget* parent = nullptr);
  bool Create();
  // Builds the hint and shows it modally, centred and on top; -1 when it cannot be built.
  static int Show(QWidget* opener);

 protected:
  void Notify(ui::TNotifyUI& msg) override;
};
