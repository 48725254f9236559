#pragma once

#include "ui/window.h"

// The question before automatic testing is switched on ("MessageFrom.xml"). OK switches it
// on; the caller reads the result (1 on OK, 2 otherwise) or the flags.
class CMessageForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CMessageForm(QWidget* parent = nullptr);
  bool Create();

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }
};
