#include "apps/kestrane/scheduler_wiring.h"

#include <QCoreApplication>

#include "apps/kestrane/form_main.h"
#include "apps/kestrane/handle_speed_form.h"
#include "bandwidth/network_form.h"
#include "bandwidth/network_speed.h"
#include "filedown/file_down_speed.h"
#include "filedown/file_down_ui.h"
#include "video/flash_form.h"
#include "video/void_speed_form.h"
#include "webpage/web_speed.h"
#include "webpage/web_speed_form.h"

CAutoTesting::CAutoTesting(CFormMain& form)
    : m_form(form),
      m_host(&form, CFormMain::kAutoTestTimer, CFormMain::kWebTestMessage),
      m_scheduler(&m_host) {}

CAutoTesting::~CAutoTesting() { m_scheduler.Shutdown(); }

void CAutoTesting::Wire() {
  auto& hooks = m_form.GetHooks();
  hooks.armScheduler = [this] {
    RegisterScreenEngines();
    m_scheduler.ArmScheduler();
  };
  hooks.cycleTimerExpired = [this] { m_scheduler.CycleTimerExpired(); };
  hooks.webTestStep = [this](qintptr verdict) {
    m_scheduler.RunWebTestStep(static_cast<int>(verdict));
  };
  // The engines belong to the screens, which go with the window: no cycle may outlive them.
  if (QCoreApplication* app = QCoreApplication::instance())
    QObject::connect(app, &QCoreApplication::aboutToQuit, &m_form,
                     [this] { m_scheduler.Shutdown(); });
}

void CAutoTesting::RegisterScreenEngines() {
  for (ui::CScreenPage* page : m_form.Pages()) {
    auto* tests = dynamic_cast<CHandleSpeedForm*>(page);
    if (!tests) continue;
    for (ui::CScreenPage* screen : tests->Screens()) {
      if (auto* bandwidth = dynamic_cast<CNetWorkForm*>(screen)) {
        if (CNetWorkSpeed* engine = bandwidth->Engine())
          m_scheduler.RegisterEngine(speedmodule::kBandwidth, engine);
      } else if (auto* fileDown = dynamic_cast<CFileDownUI*>(screen)) {
        m_scheduler.RegisterEngine(speedmodule::kFileDownload, fileDown->Engine());
      } else if (auto* web = dynamic_cast<CWebSpeedForm*>(screen)) {
        // Its engine runs on the window thread, started by message 1176.
        if (CWebSpeed* engine = web->Engine())
          m_scheduler.RegisterEngine(speedmodule::kWebPage, engine);
      } else if (auto* video = dynamic_cast<CVoidSpeedForm*>(screen)) {
        // Its start blocks the cycle's worker until the play has ended.
        if (CFlashForm* player = video->Player())
          m_scheduler.RegisterEngine(speedmodule::kVideo, player);
      }
    }
  }
}
