#pragma once

#include <functional>
#include <string>

class QWidget;

// The user's own pages on the management server ("score", "update", "BBS"), opened in the
// browser with a request key fetched first.

// What the key request came to.
struct UserPageResult {
  enum Outcome { Opened, Maintenance, NoServer };
  Outcome outcome = NoServer;
  std::string url;  // the page address when Opened
};

// Fetches the request key and builds the page address; blocking, for a worker.
UserPageResult ResolveUserPage(const std::string& pageType);

// Starts ResolveUserPage on a worker and returns at once. The page is opened, or the message
// box shown, on the window thread; `done` (optional) runs there afterwards.
void OpenUserPage(const std::string& pageType, QWidget* owner = nullptr,
                  std::function<void()> done = {});

// Opens an address in the browser; xdg-open unless replaced (an empty function restores it).
void SetUserPageOpener(std::function<bool(const std::string&)> opener);

inline constexpr const char* kUserPageMaintenance =
    "服务器正在维护，请稍后重试！\n\n    给您带来不便请谅解。。。";
inline constexpr const char* kUserPageNoServer = "无法与服务器通信,请检查网络！";
inline constexpr const char* kNoticeCaption = "提示";
