// Tarnell: edits the bandwidth test's file names and upload method in conf/config.properties.
#include <QApplication>

#include "config_editor/tarnell_app.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CTarnellApp theApp;
  return theApp.Run();
}
