// Renders the bandwidth screen in its states to PNG files, for people to look at:
//   kestrane-screenshots-bandwidth <Skin.zip> <output folder>
// The screen stands in a small host window as the main window's tests page holds it; events
// are fed to it as the engine sends them, so nothing reaches a server.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "auto/local_mac.h"
#include "bandwidth/dashboard_ui.h"
#include "bandwidth/network_form.h"
#include "bandwidth/network_speed.h"
#include "core/data_base.h"
#include "core/properties_file.h"
#include "core/speed.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/dialog_builder.h"
#include "ui/tools/shot_session.h"
#include "ui/window.h"

namespace {

using ui::tools::ShotSession;
ShotSession* g_shots = nullptr;

// The host: a plain window whose layout holds one control of the class "NetWork".
const char kHostLayout[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>440</height></rect></property>
 <widget class="NetWork" name="Host_NetWork">
  <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>440</height></rect></property>
 </widget>
</widget></ui>)";

UpdateEvent Event(int code, double value = 0) {
  UpdateEvent e;
  e.code = code;
  e.value = value;
  return e;
}

// Brings the needle to a live rate and lets it settle.
void Needle(CNetWorkForm& form, double kbit) {
  form.OnEngineEvent(Event(speedcode::kLiveRate, kbit));
  ShotSession::PumpUntil([&] { return !form.Gauge()->Moving(); });
  ShotSession::Pump(50);
}

void Finished(CNetWorkForm& form, const char* down, const char* downRate, const char* up,
              const char* upRate) {
  UpdateEvent d = Event(speedcode::kDownloadResult);
  d.downAverage = down;
  d.downRate = downRate;
  form.OnEngineEvent(d);
  UpdateEvent u = Event(speedcode::kUploadResult);
  u.upAverage = up;
  u.upRate = upRate;
  form.OnEngineEvent(u);
  form.OnEngineEvent(Event(speedcode::kFinished));
  ShotSession::PumpUntil([&] { return !form.ResultAnimating(); }, 8000);
  ShotSession::Pump(50);
}

// Opens a question as the engine would, draws it over the host, then closes it.
void Question(QWidget& host, CNetWorkForm& form, int code, const char* message, const char* name) {
  const char* window =
      code == speedcode::kServerMismatchQuestion ? "Confirm Dialog" : "Warning Dialog";
  QTimer::singleShot(300, [&host, window, name] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() != window || !w->isVisible()) continue;
      // The window may reach past the small host: the picture takes in both.
      const QPoint at = w->frameGeometry().topLeft() - host.frameGeometry().topLeft();
      const QRect both = QRect(QPoint(0, 0), host.size()).united(QRect(at, w->size()));
      QImage image(both.size(), QImage::Format_ARGB32_Premultiplied);
      image.fill(QColor(0xe9, 0xee, 0xf4));
      QPainter p(&image);
      p.drawImage(QPoint(0, 0), host.grab().toImage());
      p.drawImage(at, w->grab().toImage());
      p.end();
      g_shots->Save(image, name);
      w->close();
      return;
    }
    g_shots->Failed(QString(name) + ": the window did not open");
  });
  UpdateEvent e = Event(code);
  e.message = message;
  form.OnEngineQuestion(e);
}

}  // namespace

int main(int argc, char** argv) {
  ShotSession shots(argc, argv);
  if (const int code = shots.Start()) return code;
  g_shots = &shots;
  const QString geo = QFileInfo(shots.Skin()).path() + "/DB/Geo_CN.db";
  QDir().mkpath("DB");
  QFile::copy(geo, "DB/Geo_CN.db");
  ShotSession::WriteFile(
      "Config/addr_server.xml",
      "<s><province-array name=\"北京\" nas=\"N\" near=\"\"><server>北京联通</server>"
      "<server>北京电信</server></province-array><province-array name=\"上海\" nas=\"\" "
      "near=\"\"><server>上海电信</server></province-array></s>");
  ShotSession::WriteFile("Config/dest_config.xml",
                         "<d><destip name=\"北京电信\" value=\"127.0.8.2:1101:1\"/>"
                         "<destip name=\"北京联通\" value=\"127.0.8.3:1102:1\"/>"
                         "<destip name=\"上海电信\" value=\"127.0.8.4:1103:1\"/></d>");
  ShotSession::WriteFile("Config/operator_config.xml",
                         "<o><operator>电信</operator><operator>联通</operator></o>");
  ShotSession::WriteFile(
      "Config/settings10001.xml",
      "<settings><contband><bandmap id=\"2\">2M</bandmap><bandmap id=\"4\">4M</bandmap>"
      "<bandmap id=\"20\">20M</bandmap><bandmap id=\"100\">100M</bandmap></contband></settings>");
  ShotSession::WriteFile("conf/l_c_config_01.properties", "userid=10001\n");

  UserInfo user;
  user.userId = "10001";
  user.nickname = "王小明";
  user.province = "北京";
  user.locatedProvinceId = 110000;
  user.locatedCityId = 110105;
  user.locatedOperatorId = 1;
  CDataBase::Instance().SetUserInfo(user);
  CNetWorkForm::SetResultIntervalsForTest(5, 100);
  // The contracted bandwidth stored for this machine's adapter.
  std::string mac;
  if (EnsureAdapterKey() && GetLocalMac(mac)) {
    PropertiesFile ip(conf::kIpConfig);
    ip.Load();
    ip.Set(mac, "20");
    ip.Save(false);
  }

  CNetWorkForm* form = nullptr;
  std::unique_ptr<QWidget> host(ui::CDialogBuilder::CreateFromText(
      kHostLayout,
      [&form](const QString& cls, QWidget* parent) -> QWidget* {
        if (cls != "NetWork") return nullptr;
        form = new CNetWorkForm(parent);
        return form;
      },
      nullptr));
  if (!host || !form || !form->Gauge()) {
    std::fprintf(stderr, "cannot build the screen\n");
    return 1;
  }
  host->setWindowTitle("Kestrane");
  host->move(100, 100);
  host->show();
  form->OnLogin();
  ShotSession::Pump(150);
  g_shots->Save(host->grab().toImage(), "bandwidth-after-login");

  Needle(*form, 1.5 * 1024);
  g_shots->Save(host->grab().toImage(), "bandwidth-needle-1.5M");
  Needle(*form, 20 * 1024);
  g_shots->Save(host->grab().toImage(), "bandwidth-needle-20M");
  Needle(*form, 300 * 1024);
  g_shots->Save(host->grab().toImage(), "bandwidth-needle-300M");
  form->Gauge()->Rest();

  Finished(*form, "0.01", "0.1M", "0.01", "0.1M");
  g_shots->Save(host->grab().toImage(), "bandwidth-finished-0.1M");
  Finished(*form, "0.78", "6.2M", "0.25", "2.0M");
  g_shots->Save(host->grab().toImage(), "bandwidth-finished-6.2M");
  Finished(*form, "2.50", "20.0M", "0.62", "5.0M");
  g_shots->Save(host->grab().toImage(), "bandwidth-finished-20M");

  Question(*host, *form, speedcode::kNetworkFailure, "网络异常，请检查网络后重试！",
           "bandwidth-warning-1001");
  Question(*host, *form, speedcode::kNoServerMatched, "未匹配到测速服务器，请手动选择！",
           "bandwidth-warning-1002");
  Question(*host, *form, speedcode::kServerMismatchQuestion,
           "选择的监测点与网络环境不匹配，测试的数据可能会低于实际接入速率，是否继续？",
           "bandwidth-question-1003");
  Question(*host, *form, speedcode::kServerBusy, "服务器忙，请稍后再试！",
           "bandwidth-warning-1004");
  Question(*host, *form, speedcode::kSlotRequestFailed, "执行请求验证失败，测速服务器异常！",
           "bandwidth-warning-1005");
  Question(*host, *form, speedcode::kDownloadFailed, "下载测速失败！", "bandwidth-warning-1007");
  Question(*host, *form, speedcode::kUploadFailed, "上传测速失败！", "bandwidth-warning-1008");

  form->SetAlternateLook(true);
  Needle(*form, 6 * 1024);
  g_shots->Save(host->grab().toImage(), "bandwidth-alternate-face");
  host.reset();
  return shots.Finish();
}
