#include "ui/application.h"

#include <QApplication>
#include <clocale>

#include "ui/skin.h"

namespace ui {

bool InitToolkit(const QString& zipPath) {
  // QApplication took the C library's locale from the environment; the engines format numbers
  // with printf and must write "." whatever the user's language.
  std::setlocale(LC_NUMERIC, "C");
  SetupFonts();
  if (!SetResourceZip(zipPath)) return false;
  QApplication::setWindowIcon(ProgramIcon());
  // Windows are hidden to the tray; that must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  return true;
}

int MessageLoop() { return QApplication::exec(); }

}  // namespace ui
