#pragma once

#include <QPoint>
#include <QString>
#include <optional>

#include "ui/window.h"

// The generic warning ("WarningDlg.xml"): a message and OK. Closes with 1 on OK, 2 on close.
// OK answers on a click, or Enter or Space on the focused button, never on the focus alone.
class CWarningDlg : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CWarningDlg(const QString& text, QWidget* parent = nullptr);
  bool Create(const QString& windowName = "CWarningDlg");

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }

 private:
  QString m_text;
};

// Shows the warning modally and returns 1 or 2; -1 when the window cannot be built. From a
// worker thread the window thread asks and the worker waits for the answer.
int ShowWarning(QWidget* owner, const QString& windowName, const QString& text,
                std::optional<QPoint> at = {});
