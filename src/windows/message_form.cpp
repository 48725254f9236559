#include "windows/message_form.h"

#include "core/data_base.h"
#include "windows/secondary_window.h"

CMessageForm::CMessageForm(QWidget* parent) : ui::CWindowWnd(parent) {}

bool CMessageForm::Create() { return ui::CWindowWnd::Create("MessageFrom.xml", "MessageForm"); }

void CMessageForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType != ui::kClick) return;
  if (msg.senderName == "Message_OK_btn") {
    CDataBase& data = CDataBase::Instance();
    data.testBusy = 1;
    data.testRunEnabled = 1;
    Close(1);
  } else if (msg.senderName == "Message_close_btn" || msg.senderName == "Message_NO_btn") {
    Close(2);
  }
}

int CMessageForm::Show(QWidget* opener) {
  auto* w = new CMessageForm(opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, std::nullopt);
}
