#include "windows/confirm_dlg.h"

#include <QPointer>
#include <string>

#include "ui/controls.h"
#include "ui/thread.h"
#include "windows/secondary_window.h"

CConfirmDlg::CConfirmDlg(const QString& text, QWidget* parent)
    : ui::CWindowWnd(parent), m_text(text) {}

bool CConfirmDlg::Create(const QString& windowName) {
  return ui::CWindowWnd::Create("ConfirmDlg.xml", windowName);
}

void CConfirmDlg::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    ui::SetText(FindControl("confirm_text"), m_text);
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "yes_btn") {
      Close(1);
    } else if (msg.senderName == "no_btn" || msg.senderName == "close_btn") {
      Close(2);
    }
  }
}

int ShowConfirm(QWidget* owner, const QString& windowName, const QString& text,
                std::optional<QPoint> at) {
  QPointer<QWidget> opener(owner);
  // Plain copies cross to the window thread, so no shared text is released on both threads.
  std::string name = windowName.toStdString(), message = text.toStdString();
  return ui::Ask([opener, name, message, at] {
    auto* w = new CConfirmDlg(QString::fromStdString(message), opener.data());
    if (!w->Create(QString::fromStdString(name))) {
      delete w;
      return -1;
    }
    return windows::RunModal(w, opener.data(), at);
  });
}
