// Renders the video page in its states to PNG files, for people to look at:
//   kestrane-screenshots-video <Skin.zip> <output folder>
// The page stands alone in a small host window. The player library beside the skin (the build's
// program folder) plays the lab's clip from its file, so the frame shown is a real one.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <cstdio>
#include <thread>

#include "core/data_base.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/tools/shot_session.h"
#include "ui/window.h"
#include "video/flash_form.h"
#include "video/void_speed_form.h"

namespace {

using ui::tools::ShotSession;
ShotSession* g_shots = nullptr;

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 <widget class="Void_Speed" name="Void_Speed_Form">
  <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 </widget>
</widget></ui>)";

struct Page {
  QWidget* host = nullptr;
  CVoidSpeedForm* page = nullptr;
};

Page BuildPage() {
  Page p;
  p.host = ui::CDialogBuilder::CreateFromText(
      kHost,
      [&p](const QString& cls, QWidget* parent) -> QWidget* {
        if (cls != CVoidSpeedForm::kPageClass) return nullptr;
        p.page = CVoidSpeedForm::Build(parent);
        return p.page;
      },
      nullptr);
  if (p.host && p.page) {
    p.host->show();
    ShotSession::Pump(80);
    p.page->OnMainWindowInit();
    ShotSession::Pump(80);
  }
  return p;
}

// The page with the windows on top of it (the tip), composed as the user sees them.
QImage Composed(QWidget* host, const QString& windowName) {
  QImage image = host->grab().toImage();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() != windowName || !w->isVisible()) continue;
    const QPoint at = w->mapToGlobal(QPoint(0, 0)) - host->mapToGlobal(QPoint(0, 0));
    const QRect all = host->rect().united(QRect(at, w->size()));
    QImage out(all.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(QColor(0x5a, 0x64, 0x70));
    QPainter p(&out);
    p.drawImage(-all.topLeft(), image);
    p.drawImage(at - all.topLeft(), w->grab().toImage());
    p.end();
    return out;
  }
  return image;
}

// Serves one file over HTTP on loopback to whoever asks, until the process ends: the player
// streams over HTTP only.
int ServeFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  auto body = std::make_shared<QByteArray>(file.readAll());
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  std::thread([listener, body] {
    while (true) {
      const int client = accept(listener, nullptr, nullptr);
      if (client < 0) return;
      char head[4096];
      (void)!read(client, head, sizeof head);
      const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: " +
                               QByteArray::number(body->size()) + "\r\nConnection: close\r\n\r\n" +
                               *body;
      for (qsizetype sent = 0; sent < reply.size();) {
        const ssize_t n = write(client, reply.constData() + sent, reply.size() - sent);
        if (n <= 0) break;
        sent += n;
      }
      close(client);
    }
  }).detach();
  return ntohs(address.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
  ShotSession shots(argc, argv);
  if (const int code = shots.Start()) return code;
  g_shots = &shots;
  const QString zip = shots.Skin();
  const QString dist = QFileInfo(zip).absolutePath();
  UserInfo user;
  user.userId = "10001";
  CDataBase::Instance().SetUserInfo(user);

  // Without the player: the page, and the tip that says so.
  CFlashUI::SetLibraryPathForTest((shots.Folder() + "/libVideoPlayer.so").toStdString());
  Page missing = BuildPage();
  if (!missing.host) {
    std::fprintf(stderr, "cannot build the video page\n");
    return 1;
  }
  ShotSession::Pump(150);
  g_shots->Save(Composed(missing.host, "TipForm"), "video-no-player");
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "TipForm") delete w;
  delete missing.host;

  // With the player of the build.
  CFlashUI::SetLibraryPathForTest((dist + "/libVideoPlayer.so").toStdString());
  Page page = BuildPage();
  if (!page.host) return 1;
  g_shots->Save(page.host->grab().toImage(), "video-idle");

  const QString clip = QDir(dist + "/../lab-media").absoluteFilePath("clip.mp4");
  CFlashForm* player = page.page->Player();
  const int port = ServeFile(clip);
  if (player && player->HasPlayer() && port > 0) {
    ui::SetText(page.page->FindControl("Void_play_Edit"),
                QString("http://127.0.0.1:%1/media/clip.mp4").arg(port));
    page.page->PressButton("Void_play_btn");
    ShotSession::PumpUntil([] { return CDataBase::Instance().testBusy.load() == 1; }, 5000);
    ShotSession::Pump(2500);
    g_shots->Save(page.host->grab().toImage(), "video-playing");
    player->StopVideo();
    CDataBase::Instance().testBusy.store(0);
  } else {
    std::fprintf(stderr, "no player or clip: the playing state is not rendered\n");
  }

  // The converted list: three media addresses, the first selected.
  player->MoveWindow(23, 140);
  ui::SelectItem(page.page->FindControl("SwitchVoid"), 1);
  ui::SetText(page.page->FindControl("Void_Convert_Edit"),
              "http://v.ku6.com/show/Lx2aCvdgqXJdJrzQ.html");
  page.page->AddRows({"http://main.gslb.ku6.com/broadcast/sub/1.f4v",
                      "http://main.gslb.ku6.com/broadcast/sub/2.f4v",
                      "http://main.gslb.ku6.com/broadcast/sub/3.f4v"});
  ShotSession::Pump(100);
  g_shots->Save(page.host->grab().toImage(), "video-address-list");
  delete page.host;
  return shots.Finish();
}
