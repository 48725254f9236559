#pragma once

#include <QString>

#include "ui/window.h"

// The web page test's result ("FirstScreen.xml"): the first-screen time. Closing it ends the
// test's busy state. Shown modally, or modeless on top without taking the focus (automatic
// tests).
class CFirstScreenForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CFirstScreenForm(const QString& text, QWidget* parent = nullptr);
  bool Create();
  // Builds the result and shows it modally, centred; -1 when it cannot be built.
  static int Show(QWidget* opener, const QString& text);

  // Shows the window on top, without activating it, and returns; it deletes itself when closed.
  void ShowModeless();

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override;

 private:
  QString m_text;
};
