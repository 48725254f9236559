#include "ui/tools/shot_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "platform/program_folder.h"
#include "ui/application.h"

namespace ui::tools {

int ShotSession::Start() {
  if (m_argc != 3) {
    std::fprintf(stderr, "usage: %s <Skin.zip> <output folder>\n", m_argv[0]);
    return 2;
  }
  // Embedded views need the shared context set before the application exists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  m_app.emplace(m_argc, m_argv);
  m_skin = QDir::current().absoluteFilePath(QString::fromLocal8Bit(m_argv[1]));
  m_out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(m_argv[2]));
  QDir().mkpath(m_out);
  if (!ui::InitToolkit(m_skin)) {
    std::fprintf(stderr, "cannot open the skin %s\n", m_argv[1]);
    return 1;
  }
  if (!m_folder.isValid()) {
    std::fprintf(stderr, "cannot make a temporary program folder\n");
    return 1;
  }
  platform::SetProgramFolder(m_folder.path().toStdString());
  QDir::setCurrent(m_folder.path());
  return 0;
}

bool ShotSession::Save(const QImage& image, const QString& name) {
  const QString path = m_out + "/" + name + ".png";
  if (image.isNull() || !image.save(path)) {
    Failed("cannot write " + path);
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

void ShotSession::Failed(const QString& what) {
  std::fprintf(stderr, "%s\n", qPrintable(what));
  ++m_failures;
}

void ShotSession::Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool ShotSession::PumpUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

bool ShotSession::WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace ui::tools
