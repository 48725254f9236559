#pragma once

#include <QPoint>
#include <QString>
#include <optional>

#include "ui/window.h"

// The generic yes/no question ("ConfirmDlg.xml"). Closes with 1 on yes, 2 on no or close. The
// buttons answer on a click, or Enter or Space on the focused one, never on the focus alone.
class CConfirmDlg : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CConfirmDlg(const QString& text, QWidget* parent = nullptr);
  bool Create(const QString& windowName = "CConfirmDlg");

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }

 private:
  QString m_text;
};

// Asks modally and returns 1 (yes) or 2; -1 when the window cannot be built. From a worker
// thread the window thread asks and the worker waits for the answer.
int ShowConfirm(QWidget* owner, const QString& windowName, const QString& text,
                std::optional<QPoint> at = {});
