#include "windows/auditing_form.h"

#include <rapidjson/document.h>

#include <QWidget>
#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "core/server_session.h"
#include "ui/controls.h"
#include "windows/secondary_window.h"

namespace audit {

namespace {

std::atomic<int64_t> g_waitMs{kWait.count()};
std::mutex g_lock;
std::string g_resolverFile = "/etc/resolv.conf";

std::string ResolverFile() {
  std::lock_guard lock(g_lock);
  return g_resolverFile;
}

bool DecimalText(const std::string& text, int& value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  size_t end = text.size();
  while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  bool negative = i < end && text[i] == '-';
  if (i < end && (text[i] == '-' || text[i] == '+')) ++i;
  if (i >= end) return false;
  long long v = 0;
  for (; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
    if (v > 1000000000) return false;
  }
  value = static_cast<int>(negative ? -v : v);
  return true;
}

// Sleeps in short steps so a shortened wait set meanwhile is honoured.
void Wait() {
  auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(g_waitMs.load()))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace

void SetWait(std::chrono::milliseconds wait) { g_waitMs = wait.count(); }

void SetResolverFile(const std::string& path) {
  std::lock_guard lock(g_lock);
  g_resolverFile = path;
}

std::string FirstNameServer(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string word, address;
    if (words >> word >> address && word == "nameserver") return address;
  }
  return {};
}

int ReplyUserType(const std::string& reply) {
  rapidjson::Document doc;
  doc.Parse(reply.c_str(), reply.size());
  if (doc.HasParseError() || !doc.IsObject()) return kFailedType;
  auto it = doc.FindMember("usertype");
  if (it == doc.MemberEnd()) return kFailedType;
  int type = 0;
  if (it->value.IsInt()) return it->value.GetInt();
  if (it->value.IsString() && DecimalText(it->value.GetString(), type)) return type;
  return kFailedType;
}

void RunRequest(AuditState& state) {
  LogFile log;
  log.OpenDaily(logs::kAudit);
  CDataBase& data = CDataBase::Instance();
  const std::string address = data.ClientAddress();
  const std::string dns = FirstNameServer(ResolverFile());
  log.Write("client address %s", address.c_str());
  log.Write("dns %s", dns.c_str());

  Wait();

  using session::EncodeQueryValue;
  std::string base = TimeServerBase();
  std::string reply;
  int code = kHttpFailure;
  if (!base.empty()) {
    std::string url = base + kRequestPath + "?dnsip=" + EncodeQueryValue(dns) +
                      "&ip=" + EncodeQueryValue(address) +
                      "&userid=" + EncodeQueryValue(data.GetUserInfo().userId);
    log.Write("request %s", url.c_str());
    code = HttpGetText(url, reply);
  }
  // Nothing asks again, so an empty answer counts as a failed one rather than leaving the
  // window waiting for good.
  int type = code == kHttpDone && !reply.empty() ? ReplyUserType(reply) : kFailedType;
  log.Write("code %d, reply %s, usertype %d", code, reply.c_str(), type);
  log.Close();
  data.SetUserType(type);
  state.userType = type;
  state.done = true;
  state.finished = true;
}

std::shared_ptr<AuditState> StartRequest() {
  auto state = std::make_shared<AuditState>();
  std::thread([state] { RunRequest(*state); }).detach();
  return state;
}

}  // namespace audit

CAuditingForm::CAuditingForm(int mode, QWidget* parent) : ui::CWindowWnd(parent), m_mode(mode) {}

bool CAuditingForm::Create() { return ui::CWindowWnd::Create("User_Audit.xml", "AuditDlg"); }

int CAuditingForm::CurrentPage() const { return ui::GetCurSel(FindControl("tab_Audit")); }

int CAuditingForm::PageForType(int userType) {
  switch (userType) {
    case 7:
      return kPageFailed;
    case 8:
      return kPagePassed;
    case 6:
      return kPageReview;
    default:
      return -1;
  }
}

void CAuditingForm::Select(int page) { ui::SelectItem(FindControl("tab_Audit"), page); }

void CAuditingForm::StartAudit() {
  m_state = audit::StartRequest();
  Select(kPageWaiting);
  m_frame = 0;
  OnTimer(kAnimationTimer);
  SetTimer(kAnimationTimer, kAnimationMs);
}

void CAuditingForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    Select(m_mode);
  } else if (msg.sType == ui::kClick) {
    const QString& name = msg.senderName;
    if (name == "Audit_OK_btn" || name == "Audit_AgainStartOK_btn") {
      // One request at a time: the buttons of a page left behind cannot start another.
      if (m_state && !m_state->done) return;
      StartAudit();
    } else if (name == "Audit_AgainOK_btn") {
      Select(kPageAskAgain);
    } else if (name == "Audit_NO_btn" || name == "Audit_AgainStartNO_btn" ||
               name == "Audit_AgainNO_btn" || name == "Audit_StartSorce_btn" ||
               name == "Audit_IngOK_btn" || name == "Audit_ReviewOK_btn" ||
               name == "Audit_close_btn") {
      KillTimer(kAnimationTimer);
      Close(1);
    }
  }
}

void CAuditingForm::OnTimer(int id) {
  if (id != kAnimationTimer) return;
  if (m_state && m_state->done) {
    KillTimer(kAnimationTimer);
    int page = PageForType(m_state->userType);
    if (page >= 0) Select(page);
    return;
  }
  m_frame = m_frame % kAnimationFrames + 1;
  ui::SetBkImage(FindControl("Audit_Loading_lab"), QString("common\\%1.png").arg(m_frame));
}

int CAuditingForm::Show(QWidget* opener, int mode) {
  auto* w = new CAuditingForm(mode, opener);
  if (!w->Create()) {
    delete w;
    return -1;
  }
  return windows::RunModal(w, opener, std::nullopt, true);
}
