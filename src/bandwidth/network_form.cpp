#include "bandwidth/network_form.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPoint>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <thread>

#include "auto/local_mac.h"
#include "bandwidth/dashboard_ui.h"
#include "bandwidth/network_speed.h"
#include "bandwidth/server_catalogue.h"
#include "core/data_base.h"
#include "core/properties_file.h"
#include "ui/controls.h"
#include "ui/thread.h"
#include "windows/confirm_dlg.h"
#include "windows/speed_explanation_form.h"
#include "windows/warning_dlg.h"

namespace bandresult {

int RatePosition(const std::string& text) {
  if (text == kNoData) return 0;
  double v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end == text.data() || std::isnan(v)) return 0;
  double p;
  if (v < 1)
    p = v * 163;
  else if (v < 2)
    p = (v - 1) * 81 + 163;
  else if (v < 4)
    p = (v - 2) * 81 * 0.5 + 245;
  else if (v < 10)
    p = (v - 4) * 81 / 6 + 324;
  else
    p = (v - 10) * 81 / 6 + 405;
  // Far past the bar's end the exact number no longer matters; an int must hold it.
  p = std::clamp(p, -1e6, 1e6);
  return static_cast<int>(p);
}

QString SpeedLevelName(int p) {
  if (p <= 0) return {};
  if (p <= 25) return QStringLiteral("蜗牛");
  if (p <= 100) return QStringLiteral("乌龟");
  if (p <= 175) return QStringLiteral("兔子");
  if (p <= 250) return QStringLiteral("斑马");
  if (p <= 325) return QStringLiteral("老虎");
  if (p <= 400) return QStringLiteral("狮子");
  if (p <= 475) return QStringLiteral("剑羚");
  return QStringLiteral("猎豹");
}

int LastBarValue(int p) {
  if (p <= 0) return -1;
  return std::min((p - 1) / kBarStep * kBarStep, kBarLimit / kBarStep * kBarStep);
}

int SpacerWidth(int p) {
  if (p >= 492) return 484;
  return std::max(0, p - 12);
}

}  // namespace bandresult

namespace {

std::atomic<int> g_barStep{0};
std::atomic<int> g_levelPause{0};
constexpr int kDefaultBarStep = 30;
constexpr int kDefaultLevelPause = 5000;

const char* const kProvinceList = "NetWork_Province_CB";
const char* const kOperatorList = "NetWork_Operators_CB";
const char* const kBandList = "NetWork_Broadband_CB";
const char* const kStartButton = "NetWork_Handle_btn";
const char* const kLevelsButton = "NetWork_LookSpeed_btn";
const char* const kDownSpeed = "NetWork_DownSpeed_text";
const char* const kDownBandwidth = "NetWork_DownBandwidth_text";
const char* const kUpSpeed = "NetWork_UPSpeed_text";
const char* const kUpBandwidth = "NetWork_UPBandwidth_text";
const char* const kBar = "NetWork_Handle_Progress";
const char* const kLevel = "NetWrok_tip_lab";
const char* const kSpacer = "NetWrok_tipwidth_lab";

bool IsWarning(int code) {
  switch (code) {
    case speedcode::kNetworkFailure:
    case speedcode::kNoServerMatched:
    case speedcode::kServerBusy:
    case speedcode::kSlotRequestFailed:
    case speedcode::kDownloadFailed:
    case speedcode::kUploadFailed:
      return true;
    default:
      return false;
  }
}

}  // namespace

// The engine's listener. It outlives the screen as long as the engine does (see the
// destructor), and reaches the screen only on the window thread, through a guarded pointer.
class CNetWorkForm::Relay : public IUpdateUI {
 public:
  explicit Relay(CNetWorkForm* form) : m_form(form) {}
  void Notify(const UpdateEvent& event) override {
    switch (event.code) {
      case speedcode::kLiveRate:
      case speedcode::kDownloadResult:
      case speedcode::kUploadResult:
      case speedcode::kFinished:
        break;
      default:
        return;
    }
    QPointer<CNetWorkForm> form = m_form;
    ui::Post([form, event] {
      if (form) form->OnEngineEvent(event);
    });
  }
  int Ask(const UpdateEvent& event) override {
    if (!IsWarning(event.code) && event.code != speedcode::kServerMismatchQuestion) return -1;
    QPointer<CNetWorkForm> form = m_form;
    return ui::Ask([form, event] { return form ? form->OnEngineQuestion(event) : -1; });
  }

 private:
  const QPointer<CNetWorkForm> m_form;
};

int CNetWorkForm::BarStepInterval() {
  const int ms = g_barStep.load();
  return ms > 0 ? ms : kDefaultBarStep;
}

int CNetWorkForm::LevelPause() {
  const int ms = g_levelPause.load();
  return ms > 0 ? ms : kDefaultLevelPause;
}

void CNetWorkForm::SetResultIntervalsForTest(int barStepMs, int pauseMs) {
  g_barStep.store(barStepMs);
  g_levelPause.store(pauseMs);
}

CNetWorkForm::CNetWorkForm(QWidget* parent) : ui::CScreenPage(parent) {
  m_relay = std::make_shared<Relay>(this);
  m_barTimer = new QTimer(this);
  connect(m_barTimer, &QTimer::timeout, this, &CNetWorkForm::BarStep);
  m_levelTimer = new QTimer(this);
  m_levelTimer->setSingleShot(true);
  connect(m_levelTimer, &QTimer::timeout, this, &CNetWorkForm::ShowLevel);
  CreateFromLayout(QStringLiteral("NetWork.xml"));
  ui::SetVisible(FindControl(kLevel), false);
}

CNetWorkForm::~CNetWorkForm() {
  if (!m_engine) return;
  m_engine->SetListener(nullptr);
  if (m_engine->Running()) {
    // Deleting the engine joins its worker, which may be waiting for this thread to answer
    // a question: let another thread wait for it. The relay goes after the engine.
    std::thread([engine = std::move(m_engine), relay = std::move(m_relay)]() mutable {
      engine.reset();
      relay.reset();
    }).detach();
  }
}

IUpdateUI* CNetWorkForm::Listener() const { return m_relay.get(); }

std::shared_ptr<IUpdateUI> CNetWorkForm::ListenerHandle() const { return m_relay; }

QWidget* CNetWorkForm::CreateControl(const QString& className, QWidget* parent) {
  if (className != QLatin1String("LabelCust")) return nullptr;
  m_gauge = new CDashboardUI(parent);
  return m_gauge;
}

CNetWorkSpeed& CNetWorkForm::EnsureEngine() {
  if (!m_engine) m_engine = std::make_unique<CNetWorkSpeed>();
  return *m_engine;
}

void CNetWorkForm::OnLogin() {
  CNetWorkSpeed& engine = EnsureEngine();
  const ServerCatalogue& catalogue = engine.Catalogue();

  auto* provinces = Find<QComboBox>(kProvinceList);
  if (provinces) {
    m_filling = true;
    provinces->clear();
    for (const auto& p : catalogue) provinces->addItem(QString::fromStdString(p.name));
    const UserLocation where = LocateUser(CDataBase::Instance().GetUserInfo());
    const int index = where.province.empty() ? -1 : FindProvinceIndex(catalogue, where.province);
    provinces->setCurrentIndex(index);
    m_filling = false;
    ProvinceSelected(index, false);
  }

  if (auto* bands = Find<QComboBox>(kBandList)) {
    m_filling = true;
    bands->clear();
    const auto& map = engine.ContractedBandwidths();
    for (const auto& [id, label] : map) bands->addItem(QString::fromStdString(label));
    int selected = -1;
    std::string mac;
    if (GetLocalMac(mac)) {
      const std::string stored = conf::Read(conf::kIpConfig, mac);
      for (size_t i = 0; i < map.size(); ++i) {
        if (map[i].first == stored) {
          selected = static_cast<int>(i);
          break;
        }
      }
    }
    bands->setCurrentIndex(selected);
    m_filling = false;
  }

  engine.SetListener(m_relay.get());
}

void CNetWorkForm::SetAlternateLook(bool alternate) {
  if (m_gauge) m_gauge->SetAlternateFace(alternate);
}

void CNetWorkForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kClick) {
    if (msg.senderName == kStartButton && msg.pSender && msg.pSender->isEnabled()) {
      StartTest();
    } else if (msg.senderName == kLevelsButton && msg.pSender && msg.pSender->isEnabled()) {
      CSpeedExplanationForm::Show(window());
    }
  } else if (msg.sType == ui::kItemSelect && !m_filling && m_engine) {
    if (msg.senderName == kProvinceList)
      ProvinceSelected(msg.wParam, true);
    else if (msg.senderName == kOperatorList)
      OperatorSelected(msg.wParam);
    else if (msg.senderName == kBandList)
      BandwidthSelected(msg.wParam);
  }
}

void CNetWorkForm::StartTest() {
  if (!m_gauge) return;
  CDataBase& db = CDataBase::Instance();
  // An automatic run holds the engine.
  if (db.testBusy.load() != 0) return;
  CNetWorkSpeed& engine = EnsureEngine();
  if (engine.Listener() == nullptr) engine.SetListener(m_relay.get());

  ui::SetVisible(FindControl(kStartButton), false);
  for (const char* name : {kDownSpeed, kDownBandwidth, kUpSpeed, kUpBandwidth})
    ui::SetText(FindControl(name), QString::fromUtf8(bandresult::kNoData));
  ui::SetVisible(FindControl(kLevel), false);
  ui::SetValue(FindControl(kBar), 0);
  m_barTimer->stop();
  m_levelTimer->stop();

  db.autoCycleActive.store(0);
  engine.mode.store(0);
  engine.quiet.store(false);
  if (!engine.StartManual()) TestOver();
}

void CNetWorkForm::ProvinceSelected(int index, bool byUser) {
  if (!m_engine || index < 0) return;
  const ServerCatalogue& catalogue = m_engine->Catalogue();
  if (index >= static_cast<int>(catalogue.size())) return;
  const ProvinceServers& province = catalogue[index];
  m_engine->SetProvince(province.name);

  auto* operators = Find<QComboBox>(kOperatorList);
  if (!operators) return;
  const auto names = OperatorsOf(province, m_engine->OperatorNames());
  m_filling = true;
  operators->clear();
  for (const auto& n : names) operators->addItem(QString::fromStdString(n));
  int selected = names.empty() ? -1 : 0;
  const std::string proposed = m_engine->ProposedOperator();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == proposed) {
      selected = static_cast<int>(i);
      break;
    }
  }
  operators->setCurrentIndex(selected);
  m_filling = false;
  m_engine->SetOperator(selected >= 0 ? names[selected] : std::string());
  if (byUser) FollowPickedPlace();
}

void CNetWorkForm::OperatorSelected(int index) {
  auto* operators = Find<QComboBox>(kOperatorList);
  if (!operators || index < 0) return;
  m_engine->SetOperator(operators->itemText(index).toStdString());
  FollowPickedPlace();
}

// The server follows the place the user picked: the automatic one when it serves there,
// else the place's first.
void CNetWorkForm::FollowPickedPlace() {
  const ServerCatalogue& catalogue = m_engine->Catalogue();
  const int index = ui::GetCurSel(FindControl(kProvinceList));
  std::vector<std::string> servers;
  if (index >= 0 && index < static_cast<int>(catalogue.size()))
    servers = ServersOf(catalogue[index], m_engine->Operator());
  const std::string automatic = m_engine->Automatic().server;
  if (!automatic.empty() && std::find(servers.begin(), servers.end(), automatic) != servers.end())
    m_engine->SetCurrentServer(automatic);
  else
    m_engine->SetCurrentServer(servers.empty() ? std::string() : servers.front());
}

void CNetWorkForm::BandwidthSelected(int index) {
  const auto& map = m_engine->ContractedBandwidths();
  if (index < 0 || index >= static_cast<int>(map.size())) return;
  // The key is made first, so a pick after the default route moved is kept.
  EnsureAdapterKey();
  std::string mac;
  if (!GetLocalMac(mac)) return;
  PropertiesFile file(conf::kIpConfig);
  file.Load();
  if (file.Set(mac, map[index].first)) file.Save(false);
}

void CNetWorkForm::OnEngineEvent(const UpdateEvent& event) {
  switch (event.code) {
    case speedcode::kLiveRate:
      if (!m_gauge) return;
      if (!m_gauge->Animating()) m_gauge->StartAnimation();
      m_gauge->NeedleTargetAngle(event.value);
      break;
    case speedcode::kDownloadResult:
      ui::SetText(FindControl(kDownSpeed), QString::fromStdString(event.downAverage));
      ui::SetText(FindControl(kDownBandwidth), QString::fromStdString(event.downRate));
      break;
    case speedcode::kUploadResult:
      if (m_gauge) m_gauge->StopAnimation();
      ui::SetText(FindControl(kUpSpeed), QString::fromStdString(event.upAverage));
      ui::SetText(FindControl(kUpBandwidth), QString::fromStdString(event.upRate));
      break;
    case speedcode::kFinished:
      if (m_gauge) m_gauge->StopAnimation();
      m_position = bandresult::RatePosition(ui::Text(FindControl(kDownBandwidth)).toStdString());
      StartResultAnimation();
      break;
    default:
      break;
  }
}

int CNetWorkForm::OnEngineQuestion(const UpdateEvent& event) {
  const QString text = QString::fromStdString(event.message);
  const QPoint at(kDialogX, kDialogY);
  // The window runs its own loop, in which the screen may be destroyed.
  const QPointer<CNetWorkForm> self(this);
  int answer = -1;
  if (event.code == speedcode::kServerMismatchQuestion) {
    answer = ShowConfirm(this, QStringLiteral("Confirm Dialog"), text, at);
    if (!self) return -1;
    if (answer == 1) return answer;
  } else if (IsWarning(event.code)) {
    answer = ShowWarning(this, QStringLiteral("Warning Dialog"), text, at);
    if (!self) return -1;
  } else {
    return -1;
  }
  // A warning ends the test, and so does a question not accepted.
  TestOver();
  return answer;
}

void CNetWorkForm::TestOver() {
  if (m_gauge) m_gauge->Rest();
  ui::SetVisible(FindControl(kStartButton), true);
}

bool CNetWorkForm::ResultAnimating() const {
  return m_barTimer->isActive() || m_levelTimer->isActive();
}

void CNetWorkForm::StartResultAnimation() {
  m_barValue = 0;
  m_levelTimer->stop();
  if (m_position > 0) {
    ui::SetValue(FindControl(kBar), 0);
    m_barTimer->start(BarStepInterval());
  } else {
    m_levelTimer->start(LevelPause());
  }
}

void CNetWorkForm::BarStep() {
  m_barValue += bandresult::kBarStep;
  if (m_barValue < m_position && m_barValue <= bandresult::kBarLimit) {
    ui::SetValue(FindControl(kBar), m_barValue);
    return;
  }
  m_barTimer->stop();
  m_levelTimer->start(LevelPause());
}

void CNetWorkForm::ShowLevel() {
  if (auto* spacer = FindControl(kSpacer))
    spacer->setFixedWidth(bandresult::SpacerWidth(m_position));
  ui::SetText(FindControl(kLevel), bandresult::SpeedLevelName(m_position));
  ui::SetVisible(FindControl(kLevel), true);
  ui::SetVisible(FindControl(kStartButton), true);
}
