#pragma once

#include "ui/window.h"

// The speed level explanation ("SpeedExplanation.xml", window name "ExplanationForm").
class CSpeedExplanationForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CSpeedExplanationForm(QWidget* parent = nullptr);
  bool Create();

 protected:
  void Notify(ui::TNotifyUI& msg) override;
};
