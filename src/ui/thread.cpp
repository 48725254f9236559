#include "ui/thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace ui {

bool IsWindowThread() {
  auto* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

void Post(std::function<void()> task) {
  auto* app = QCoreApplication::instance();
  if (!app) {
    task();
    return;
  }
  QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

int Ask(std::function<int()> question) {
  auto* app = QCoreApplication::instance();
  if (!app || IsWindowThread()) return question();
  int answer = 0;
  QMetaObject::invokeMethod(
      app, [&] { answer = question(); }, Qt::BlockingQueuedConnection);
  return answer;
}

}  // namespace ui
