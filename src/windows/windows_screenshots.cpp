// Renders the small windows in each of their states to PNG files, for people to look at:
//   kestrane-screenshots-windows <Skin.zip> <output folder>
// It runs in a temporary program folder with a made-up user; nothing reaches a server.

#include <QApplication>
#include <QBitmap>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include "core/data_base.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/tools/shot_session.h"
#include "windows/about_from.h"
#include "windows/auditing_form.h"
#include "windows/confirm_dlg.h"
#include "windows/first_screen_form.h"
#include "windows/message_form.h"
#include "windows/quit_form.h"
#include "windows/score_popup_form.h"
#include "windows/score_tip.h"
#include "windows/speed_explanation_form.h"
#include "windows/speed_hit_form.h"
#include "windows/stop_speed.h"
#include "windows/update_form.h"
#include "windows/warning_dlg.h"
#include "windows/wnd_shadow.h"

namespace {

using ui::tools::ShotSession;
ShotSession* g_shots = nullptr;

// Shows a built window, lets it initialise, prepares the state, and saves what it shows.
void Snap(ui::CWindowWnd* w, bool built, const char* name,
          const std::function<void(ui::CWindowWnd&)>& prepare = {}) {
  std::unique_ptr<ui::CWindowWnd> owner(w);
  if (!built) {
    g_shots->Failed(QString("cannot build the window of ") + name);
    return;
  }
  w->CenterWindow();
  w->show();
  ShotSession::Pump(80);
  if (prepare) prepare(*w);
  ShotSession::Pump(30);
  g_shots->Save(w->grab().toImage(), name);
  w->hide();
}

template <class W, class... Args>
void Shot(const char* name, const std::function<void(ui::CWindowWnd&)>& prepare, Args&&... args) {
  auto* w = new W(std::forward<Args>(args)...);
  bool built = w->Create();
  Snap(w, built, name, prepare);
}

// A host with rounded corners over a plain desktop, and its shadow around it.
void ShadowShot() {
  auto* host = new CQuitForm(CQuitForm::kQuitText);
  std::unique_ptr<ui::CWindowWnd> owner(host);
  if (!host->Create()) {
    g_shots->Failed("cannot build the quit window");
    return;
  }
  QPainterPath rounded;
  rounded.addRoundedRect(QRectF(QPoint(0, 0), host->size()), 8, 8);
  host->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
  CWndShadow shadow;
  shadow.Create(host);
  shadow.SetSize(6);
  shadow.SetSharpness(8);
  host->move(200, 200);
  host->show();
  ShotSession::Pump(80);
  if (shadow.Bitmap().isNull()) {
    std::printf("shadow: disabled on this desktop (no compositing), not drawn\n");
    return;
  }
  const int margin = 30;
  QImage desk(host->width() + 2 * margin, host->height() + 2 * margin,
              QImage::Format_ARGB32_Premultiplied);
  desk.fill(QColor(0xe9, 0xee, 0xf4));
  QPainter p(&desk);
  QPoint origin = host->frameGeometry().topLeft() - QPoint(margin, margin);
  if (shadow.ShadowWindow()) p.drawImage(shadow.ShadowWindow()->pos() - origin, shadow.Bitmap());
  QImage face = host->grab().toImage();
  QPainterPath clip;
  clip.addRoundedRect(QRectF(margin, margin, host->width(), host->height()), 8, 8);
  p.setClipPath(clip);
  p.drawImage(margin, margin, face);
  p.end();
  g_shots->Save(desk, "windows-shadow-host");
  g_shots->Save(shadow.Bitmap(), "windows-shadow-bitmap");
}

}  // namespace

int main(int argc, char** argv) {
  ShotSession shots(argc, argv);
  QApplication::setApplicationVersion("1.0.0");
  if (const int code = shots.Start()) return code;
  g_shots = &shots;

  QDir().mkpath("conf");
  QFile config("conf/config.properties");
  if (config.open(QIODevice::WriteOnly)) config.write("vendor_site_url=http://www.example.com/\n");
  config.close();

  CDataBase& data = CDataBase::Instance();
  UserInfo user;
  user.userId = "10001";
  user.nickname = "王小明";
  data.SetUserInfo(user);
  data.SetScores({"86", "90", "82"});
  data.SetPreviousLogin("2026-12-06 20\\:15\\:42");
  data.autoStartTime = static_cast<int64_t>(std::time(nullptr)) - (86400 + 3 * 3600 + 25 * 60 + 7);
  data.autoScheduledCount = 12;
  data.autoCompletedCount = 11;
  data.SetLastResult("带宽测速 下载 94.6Mb/s 上传 38.2Mb/s（2026-12-07 10:30）");

  auto morning = [](CScorePopupForm& w) {
    w.SetClock([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
  };
  {
    auto* w = new CScorePopupForm;
    morning(*w);
    Snap(w, w->Create(), "windows-score-greeting-morning");
  }
  {
    auto* w = new CScorePopupForm;
    w->SetClock([] { return QDateTime(QDate(2026, 12, 7), QTime(15, 5)); });
    data.SetPreviousLogin("");
    Snap(w, w->Create(), "windows-score-greeting-first-login");
    data.SetPreviousLogin("2026-12-06 20\\:15\\:42");
  }
  Shot<CScoreTip>("windows-user-scores", {});
  Shot<CMessageForm>("windows-auto-question", {});
  Shot<CStopSpeed>("windows-stop-running", {});
  {
    data.autoStartTime = 0;
    data.autoScheduledCount = 0;
    data.autoCompletedCount = 0;
    data.SetLastResult("");
    Shot<CStopSpeed>("windows-stop-fresh", {});
  }

  const char* pages[] = {"ask", "waiting", "passed", "failed", "ask-again", "review"};
  for (int page = 0; page < 6; ++page) {
    QByteArray name = QByteArray("windows-audit-") + QByteArray::number(page) + "-" + pages[page];
    Shot<CAuditingForm>(
        name.constData(),
        [page](ui::CWindowWnd& w) {
          ui::SelectItem(w.FindControl("tab_Audit"), page);
          if (page == CAuditingForm::kPageWaiting)
            ui::SetBkImage(w.FindControl("Audit_Loading_lab"), "common\\3.png");
        },
        page == CAuditingForm::kPageReview ? 5 : 0);
  }

  Shot<CSpeedHitForm>("windows-hint", {});
  Shot<CSpeedHitForm>("windows-hint-ticked", [](ui::CWindowWnd& w) {
    ui::SetCheck(w.FindControl("SpeedHit_HIT_check"), true);
  });
  Shot<CQuitForm>("windows-quit", {}, QString(CQuitForm::kQuitText));
  Shot<CQuitForm>("windows-logoff", {}, QString(CQuitForm::kLogOffText));
  Shot<CUpdateForm>(
      "windows-update-notes", {},
      QString("版本 1.0.1 更新内容：\n1. 修复带宽测速在部分线路上上传结果偏低的问题；\n"
              "2. 网页测速支持更多门户网站；\n3. 优化自动测速的环境检查，减少误判。"));
  Shot<CUpdateForm>("windows-update-empty", {}, QString());
  Shot<CAboutFrom>("windows-about", {});
  Shot<CSpeedExplanationForm>("windows-speed-explanation", {});
  Shot<CFirstScreenForm>("windows-first-screen", {}, QString("1.38 s"));
  Shot<CWarningDlg>("windows-warning", {},
                    QString("您好：您的账号目前处于未审核状态无法进行自动测速！"));
  Shot<CWarningDlg>("windows-warning-long", {},
                    QString("测速服务器繁忙，当前排队人数较多，请稍后再试。如多次出现此提示，"
                            "请在设置中更换测速点。"));
  Shot<CConfirmDlg>("windows-confirm", {},
                    QString("当前测速点与您所在地区不一致，测速结果可能偏低。是否继续测速？"));
  ShadowShot();
  return shots.Finish();
}
