#include "windows/warning_dlg.h"

#include <QPointer>
#include <string>

#include "ui/controls.h"
#include "ui/thread.h"
#include "windows/secondary_window.h"

CWarningDlg::CWarningDlg(const QString& text, QWidget* parent)
    : ui::CWindowWnd(parent), m_text(text) {}

bool CWarningDlg::Create(const QString& windowName) {
  return ui::CWindowWnd::Create("WarningDlg.xml", windowName);
}

void CWarningDlg::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    ui::SetText(FindControl("warning_text"), m_text);
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "ok_btn") {
      Close(1);
    } else if (msg.senderName == "close_btn") {
      Close(2);
    }
  }
}

int ShowWarning(QWidget* owner, const QString& windowName, const QString& text,
                std::optional<QPoint> at) {
  QPointer<QWidget> opener(owner);
  // Plain copies cross to the window thread, so no shared text is released on both threads.
  std::string name = windowName.toStdString(), message = text.toStdString();
  return ui::Ask([opener, name, message, at] {
    auto* w = new CWarningDlg(QString::fromStdString(message), opener.data());
    if (!w->Create(QString::fromStdString(name))) {
      delete w;
      return -1;
    }
    return windows::RunModal(w, opener.data(), at);
  });
}
