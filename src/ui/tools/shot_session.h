#pragma once

#include <QApplication>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <optional>

namespace ui::tools {

// The common start of the programs that render windows to PNG files for people to look at:
//   <program> <Skin.zip> <output folder>
// It makes the application, opens the skin and moves into a fresh program folder, so no
// stored settings or credentials are read or written.
class ShotSession {
 public:
  ShotSession(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

  // Makes the application and the rest. 0 when ready; else the exit code to return (2 usage,
  // 1 no skin), the reason printed.
  int Start();

  const QString& Skin() const { return m_skin; }
  const QString& Out() const { return m_out; }
  QString Folder() const { return m_folder.path(); }

  // Writes <output folder>/<name>.png and prints its path; a failure is counted.
  bool Save(const QImage& image, const QString& name);
  void Failed(const QString& what);
  // 0 when every shot was written, else 1.
  int Finish() const { return m_failures ? 1 : 0; }

  // Runs the event loop for a while, or until done() holds (then true).
  static void Pump(int ms);
  static bool PumpUntil(const std::function<bool()>& done, int ms = 5000);
  // Writes a file under the program folder (folders made as needed).
  static bool WriteFile(const QString& path, const QByteArray& bytes);

 private:
  int& m_argc;
  char** m_argv;
  std::optional<QApplication> m_app;
  QString m_skin;
  QString m_out;
  QTemporaryDir m_folder;
  int m_failures = 0;
};

}  // namespace ui::tools
