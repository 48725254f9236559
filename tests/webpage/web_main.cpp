// Entry of the browser tests: one application for the whole run, offscreen, with the browser's
// sandbox off when run as root (as the programs do).
#include <gtest/gtest.h>

#include <QApplication>

#include "webpage/web_speed.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  webpage::PrepareBrowserEnvironment(true);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
