#pragma once

#include "ui/window.h"

// The speed level explanation ("SpeedExplanation.xml", window name "ExplanationForm").
class CSpeedExplanationForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CSpeedExplanationForm(QWidget* parent = nullptr);
  bool Create();
  // Builds the window and shows it modally at (120, 220) of the opener.
  static int Show(QWidget* opener);

 protected:
  void Notify(ui::TNotifyUI& msg) override;
};
