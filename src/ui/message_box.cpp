#include "ui/message_box.h"

#include <QMessageBox>
#include <QPointer>
#include <mutex>

#include "ui/skin.h"
#include "ui/thread.h"

namespace ui {

namespace {
std::mutex g_lock;
MessageBoxHandler g_handler;
}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(g_lock);
  g_handler = std::move(handler);
}

int MessageBox(QWidget* owner, const QString& text, const QString& caption,
               MessageButtons buttons) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(g_lock);
    handler = g_handler;
  }
  if (handler) return handler(text, caption, buttons);

  QPointer<QWidget> parent(owner);
  return Ask([parent, text, caption, buttons] {
    QMessageBox box(parent.data());
    box.setWindowTitle(caption);
    box.setText(text);
    box.setWindowIcon(ProgramIcon());
    switch (buttons) {
      case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setIcon(QMessageBox::Information);
        break;
      case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setIcon(QMessageBox::Question);
        break;
      case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (box.exec()) {
      case QMessageBox::Ok:
        return kIdOk;
      case QMessageBox::Yes:
        return kIdYes;
      case QMessageBox::No:
        return kIdNo;
      default:
        return kIdCancel;
    }
  });
}

}  // namespace ui
