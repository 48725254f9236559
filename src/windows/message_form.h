#pragma once

#include "ui/window.h"

// The question before automatic testing is switched on ("MessageFrom.xml"). OK switches it
// on; the caller reads the result (1 on OK, 2 otherwise) or the flags.
class CMessageForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CMessageForm(QWidget* parent = nullptr);
  bool Create();
  // Builds the question and asks it modally; 1 when automatic testing was switched on.
  static int Show(QWidget* opener);

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }
};
