#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "ui/window.h"

// What an audit request leaves behind. The request thread holds it (and the shared session
// data), never the window, which the user may close before the answer comes.
struct AuditState {
  std::atomic<bool> done{false};      // the verdict is in
  std::atomic<int> userType{0};       // the verdict
  std::atomic<bool> finished{false};  // the thread has ended
};

namespace audit {

// The wait before the request.
inline constexpr std::chrono::milliseconds kWait{10000};
// The verdict of a failed request or an unreadable reply.
inline constexpr int kFailedType = 7;
inline constexpr const char* kRequestPath = "/speed/interface/audit.do";

// Shortens (or restores) the wait; for tests.
void SetWait(std::chrono::milliseconds wait);
// The resolver file the DNS address is read from; for tests.
void SetResolverFile(const std::string& path);

// The first "nameserver" of a resolver file; empty when none.
std::string FirstNameServer(const std::string& path);

// The verdict of a reply: the decimal "usertype" (text or number) of a JSON object, else 7.
int ReplyUserType(const std::string& reply);

// The request itself, on the calling thread: logs, waits, asks, stores the verdict in the
// state and as the user's type.
void RunRequest(AuditState& state);

// Starts RunRequest on its own thread.
std::shared_ptr<AuditState> StartRequest();

}  // namespace audit

// The account audit window ("User_Audit.xml", window name "AuditDlg"). Pages of "tab_Audit":
// 0 ask, 1 waiting, 2 passed, 3 failed, 4 ask again, 5 under review.
class CAuditingForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  // `mode` is the page shown first (5 for an account under review, else 0).
  explicit CAuditingForm(int mode = 0, QWidget* parent = nullptr);
  bool Create();
  // Builds the window and shows it modally, centred and on top; -1 when it cannot be built.
  static int Show(QWidget* opener, int mode);

  int CurrentPage() const;
  // The request under way (or last made); empty before the first.
  std::shared_ptr<AuditState> State() const { return m_state; }

  // Page of a verdict; -1 keeps the current page.
  static int PageForType(int userType);

  static constexpr int kAnimationTimer = 1;
  static constexpr int kAnimationMs = 100;
  static constexpr int kAnimationFrames = 8;

  static constexpr int kPageAsk = 0;
  static constexpr int kPageWaiting = 1;
  static constexpr int kPagePassed = 2;
  static constexpr int kPageFailed = 3;
  static constexpr int kPageAskAgain = 4;
  static constexpr int kPageReview = 5;

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnTimer(int id) override;

 private:
  void StartAudit();
  void Select(int page);

  int m_mode;
  int m_frame = 0;
  std::shared_ptr<AuditState> m_state;
};
