#include "windows/user_page.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <mutex>
#include <thread>

#include "core/http_transport.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "core/server_session.h"
#include "platform/process.h"
#include "ui/message_box.h"
#include "ui/thread.h"

namespace {

std::mutex g_lock;
std::function<bool(const std::string&)> g_opener;

bool Open(const std::string& url) {
  std::function<bool(const std::string&)> opener;
  {
    std::lock_guard lock(g_lock);
    opener = g_opener;
  }
  return opener ? opener(url) : platform::OpenPage(url);
}

// The key may come with blanks or a line end around it.
std::string Trimmed(const std::string& text) {
  size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = text.find_last_not_of(" \t\r\n");
  return text.substr(b, e - b + 1);
}

}  // namespace

void SetUserPageOpener(std::function<bool(const std::string&)> opener) {
  std::lock_guard lock(g_lock);
  g_opener = std::move(opener);
}

UserPageResult ResolveUserPage(const std::string& pageType) {
  PropertiesFile user(conf::kUser);
  user.Load();
  const std::string name = DecodeStoredValue(user.Get("username"));
  const std::string digest = session::PasswordDigest(DecodeStoredValue(user.Get("userpass")));

  PropertiesFile config(conf::kConfig);
  config.Load();
  const std::string base = "http://" + DecodeStoredValue(config.Get("update_server_url")) + ":" +
                           config.Get("web_project_port") + "/" + config.Get("web_project_name") +
                           "/";
  std::string reply;
  int code = HttpGetText(base + config.Get("view_ui_k"), reply);
  UserPageResult result;
  if (code != kHttpDone) {
    logs::Write(logs::kMain, "user page key request failed, code %d", code);
    result.outcome = UserPageResult::NoServer;
    return result;
  }
  std::string key = Trimmed(reply);
  if (key.empty()) {
    result.outcome = UserPageResult::Maintenance;
    return result;
  }
  using session::EncodeQueryValue;
  result.outcome = UserPageResult::Opened;
  result.url = base + config.Get("view_ui") + "?u=" + EncodeQueryValue(name) +
               "&p=" + EncodeQueryValue(digest) + "&reqkey=" + EncodeQueryValue(key) +
               "&pagetype=" + EncodeQueryValue(pageType);
  return result;
}

void OpenUserPage(const std::string& pageType, QWidget* owner, std::function<void()> done) {
  QPointer<QWidget> parent(owner);
  std::thread([pageType, parent, done = std::move(done)] {
    UserPageResult result = ResolveUserPage(pageType);
    ui::Post([result, parent, done] {
      switch (result.outcome) {
        case UserPageResult::Opened:
          Open(result.url);
          break;
        case UserPageResult::Maintenance:
          ui::MessageBox(parent, kUserPageMaintenance, kNoticeCaption);
          break;
        case UserPageResult::NoServer:
          ui::MessageBox(parent, kUserPageNoServer, kNoticeCaption);
          break;
      }
      if (done) done();
    });
  }).detach();
}
