// Renders the configuration editor in each of its states to PNG files, for people to look at:
//   kestrane-screenshots-tarnell <Skin.zip> <output folder>
// It works in a temporary folder holding the shipped conf/config.properties (taken from the
// program folder beside Skin.zip) and a few test files.

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "config_editor/about_dlg.h"
#include "config_editor/tarnell_dlg.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool SaveShot(const QPixmap& pixmap, const QString& out, const char* name) {
  QString path = out + "/" + name + ".png";
  if (!pixmap.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The dialog with its open list drawn below it, as a person sees them together.
QPixmap WithPopup(CTarnellDlg& dlg, QComboBox* box) {
  QWidget* popup = box->view()->window();
  QPixmap back = dlg.grab();
  QPixmap list = popup->grab();
  QPoint at = popup->mapToGlobal(QPoint(0, 0)) - dlg.mapToGlobal(QPoint(0, 0));
  QRect all = QRect(QPoint(0, 0), back.size()).united(QRect(at, list.size()));
  QPixmap shot(all.size());
  shot.fill(Qt::white);
  QPainter p(&shot);
  p.drawPixmap(-all.topLeft(), back);
  p.drawPixmap(at - all.topLeft(), list);
  return shot;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <Skin.zip> <output folder>\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  const QString dist =
      QFileInfo(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]))).path();
  const QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
  QDir().mkpath(out);
  QApplication::setWindowIcon(tarnell::ProgramIcon());

  QTemporaryDir folder;
  QDir::setCurrent(folder.path());
  QFile shipped(dist + "/conf/config.properties");
  if (!shipped.open(QIODevice::ReadOnly) ||
      !WriteFile("conf/config.properties", shipped.readAll())) {
    std::fprintf(stderr, "cannot copy the shipped conf/config.properties from %s\n",
                 qPrintable(dist));
    return 1;
  }
  for (const char* name : {"10MB.rar", "1MB.dat", "256KB.txt", "测速样本.bin", "大文件/readme.txt"})
    WriteFile(QString("TestFile/") + QString::fromUtf8(name), "x");

  QString lastMessage;
  CTarnellDlg::SetMessageHandler([&](const QString& text) { lastMessage = text; });
  int failures = 0;

  {
    CTarnellDlg dlg;
    dlg.show();
    Pump(100);
    failures += !SaveShot(dlg.grab(), out, "tarnell-shipped");

    dlg.UploadBox()->showPopup();
    Pump(100);
    failures += !SaveShot(WithPopup(dlg, dlg.UploadBox()), out, "tarnell-upload-list");
    dlg.UploadBox()->hidePopup();

    dlg.DownloadBox()->showPopup();
    Pump(100);
    failures += !SaveShot(WithPopup(dlg, dlg.DownloadBox()), out, "tarnell-download-list");
    dlg.DownloadBox()->hidePopup();

    CAboutDlg about(&dlg);
    about.show();
    Pump(100);
    failures += !SaveShot(about.grab(), out, "tarnell-about");
    about.hide();

    auto message = [&](const char* name, const std::function<void()>& prepare) {
      lastMessage.clear();
      prepare();
      dlg.SaveButton()->click();
      if (lastMessage.isEmpty()) {
        std::fprintf(stderr, "%s: no message\n", name);
        ++failures;
        return;
      }
      QMessageBox* box = CTarnellDlg::NewMessageBox(&dlg, lastMessage);
      box->show();
      Pump(100);
      failures += !SaveShot(box->grab(), out, name);
      delete box;
    };
    message("tarnell-refused", [&] {
      dlg.DownloadBox()->setEditText("第一行\n第二行.rar");
      dlg.UploadBox()->setEditText(QString(240, 'a') + ".rar");
      dlg.MethodBox()->setEditText("long connect 🚀");
    });
    message("tarnell-missing-key", [&] {
      dlg.DownloadBox()->setEditText("50MB.rar");
      dlg.UploadBox()->setEditText("10MB.rar");
      dlg.MethodBox()->setEditText("long connect");
      WriteFile("conf/config.properties",
                "#user config\nupload_local_file_path=TestFile\\10MB.rar\n");
    });
    message("tarnell-not-saved", [&] {
      dlg.DownloadBox()->setEditText("50MB.rar");
      dlg.UploadBox()->setEditText("10MB.rar");
      dlg.MethodBox()->setEditText("long connect");
      QFile::remove("conf/config.properties");
    });
  }
  return failures ? 1 : 0;
}
