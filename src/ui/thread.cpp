#include "ui/thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <future>

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
  // The answer comes back through a promise rather than a blocking queued call, so the hand-off
  // is an ordinary synchronisation that the thread checker can see.
  std::promise<int> answer;
  std::future<int> reply = answer.get_future();
  QMetaObject::invokeMethod(
      app, [&] { answer.set_value(question()); }, Qt::QueuedConnection);
  return reply.get();
}

}  // namespace ui
