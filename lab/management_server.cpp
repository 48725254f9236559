#include "management_server.h"

#include <iconv.h>
#include <nettle/md5.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "audit_route.h"
#include "lab.h"

namespace lab {

namespace {

const char kJson[] = "application/json;charset=UTF-8";
const char kHtml[] = "text/html;charset=UTF-8";
const char kText[] = "text/plain;charset=UTF-8";

std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\"><title>" + HtmlEscape(title) +
         "</title></head>\n<body style=\"font-family:sans-serif;margin:40px\"><h2>" +
         HtmlEscape(title) + "</h2>\n" + body + "\n</body></html>\n";
}

// The lab converts and parses with code of its own, never the product's: a fault in the
// product's conversion or properties reader must show up in the tests, not agree with itself.

// iconv from one encoding to another; a byte that does not convert becomes "?".
std::string Convert(const std::string& bytes, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return bytes;
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer, static_cast<size_t>(o - buffer));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      out += '?';
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

// The client sends its texts as GBK bytes; the accounts are UTF-8.
std::string FromWire(const std::string& bytes) { return Convert(bytes, "UTF-8", "GBK"); }
std::string ToGbk(const std::string& utf8) { return Convert(utf8, "GBK", "UTF-8"); }

// "key=value" lines of a properties file (GBK), read up to the first empty line or line
// without "=", "#" lines skipped, as the client's files are written.
std::map<std::string, std::string> ReadProperties(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) break;
    if (line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) break;
    values[FromWire(line.substr(0, eq))] = FromWire(line.substr(eq + 1));
  }
  return values;
}

std::string PeerAddress(const Request& req) {
  size_t colon = req.peer.rfind(':');
  return colon == std::string::npos ? req.peer : req.peer.substr(0, colon);
}

std::string JsonObject(const std::map<std::string, std::string>& members) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  for (const auto& [k, v] : members) {
    writer.Key(k.c_str(), static_cast<rapidjson::SizeType>(k.size()));
    writer.String(v.c_str(), static_cast<rapidjson::SizeType>(v.size()));
  }
  writer.EndObject();
  return buffer.GetString();
}

struct Paths {
  std::string project = "kestrane";
  std::string interfaceName = "client";
  std::string login = "login";
  std::string score = "score";
  std::string view = "view";
  std::string viewKey = "viewk";
};

Paths ReadPaths(const std::string& confFile) {
  Paths paths;
  if (confFile.empty()) return paths;
  const std::map<std::string, std::string> conf = ReadProperties(confFile);
  auto take = [&](const char* key, std::string& field) {
    auto it = conf.find(key);
    if (it != conf.end() && !it->second.empty()) field = it->second;
  };
  take("web_project_name", paths.project);
  take("interface", paths.interfaceName);
  take("login_servlet", paths.login);
  take("s_coru_e", paths.score);
  take("view_ui", paths.view);
  take("view_ui_k", paths.viewKey);
  return paths;
}

std::shared_ptr<std::vector<Account>> AccountsFromFlags(const Flags& flags, std::string* error) {
  auto accounts = std::make_shared<std::vector<Account>>();
  if (!flags.Has("management-accounts")) {
    *accounts = DefaultAccounts();
  } else if (!LoadAccounts(flags.Get("management-accounts"), accounts.get(), error)) {
    return nullptr;
  }
  return accounts;
}

class ManagementServer : public Role {
 public:
  bool Setup(HttpServer& server, const Flags& flags, std::string* error) override {
    m_accounts = AccountsFromFlags(flags, error);
    if (!m_accounts) return false;
    if (flags.Has("management-reply") && !Control("reply", flags.Get("management-reply"), error))
      return false;
    m_paths = ReadPaths(flags.Get("management-conf"));
    const Paths& p = m_paths;
    server.Route("GET", "/" + p.project + "/" + p.interfaceName + "/" + p.login,
                 [this](const Request& req) { return Login(req); });
    server.Route("GET", "/" + p.project + "/" + p.score,
                 [this](const Request& req) { return Score(req); });
    server.Route("GET", "/" + p.project + "/" + p.viewKey,
                 [this](const Request&) { return RequestKey(); });
    server.Route("GET", "/" + p.project + "/" + p.view,
                 [this](const Request& req) { return UserPage(req); });
    server.Route("GET", "/speed/page/RegisterG.jsp", [](const Request&) {
      return Response::Text(
          200,
          Page("用户注册",
               "<p>请填写用户名、密码和联系方式完成注册。</p>"
               "<form><p>用户名 <input name=\"u\"></p><p>密码 <input "
               "type=\"password\" name=\"p\"></p><p><button>注册</button></p></form>"),
          kHtml);
    });
    server.Route("GET", "/speed/page/ForgetPsd.jsp", [](const Request&) {
      return Response::Text(
          200,
          Page("找回密码",
               "<p>请输入注册时使用的用户名，重置链接将发送到您的邮箱。</p>"
               "<form><p>用户名 <input name=\"u\"></p><p><button>提交</button></p>"
               "</form>"),
          kHtml);
    });
    m_audit = InstallAuditRoute(server, flags);
    return true;
  }

  bool Control(const std::string& name, const std::string& value, std::string* reply) override {
    std::lock_guard lock(m_lock);
    if (name == "reply") {
      if (value == "ok" || value == "badjson" || value == "empty" ||
          value.rfind("status=", 0) == 0) {
        m_reply = value;
        return true;
      }
      *reply = "reply must be ok, badjson, empty or status=N";
      return false;
    }
    if (name == "scores") {
      m_scoresReply = value;
      return true;
    }
    if (name == "key") {
      if (value != "empty" && !value.empty()) {
        *reply = "key must be empty or nothing";
        return false;
      }
      m_emptyKey = value == "empty";
      return true;
    }
    if (m_audit && m_audit->Handles(name)) return m_audit->Control(name, value, reply);
    *reply = "unknown setting " + name;
    return false;
  }

  std::string StatsText() const override {
    std::lock_guard lock(m_lock);
    return "logins=" + std::to_string(m_logins) + "\nlast_user=" + m_lastUser +
           "\nlast_digest=" + m_lastDigest + "\nlast_ip=" + m_lastIp +
           "\nscore_requests=" + std::to_string(m_scoreRequests) +
           "\nlast_score_userid=" + m_lastScoreUser +
           "\nkey_requests=" + std::to_string(m_keys.size()) +
           "\npage_requests=" + std::to_string(m_pageRequests) + "\nreply=" + m_reply +
           "\nlast_key=" + m_lastKey + "\nlast_page_user=" + m_lastPageUser +
           "\nlast_page_digest=" + m_lastPageDigest + "\nlast_page_key=" + m_lastPageKey +
           "\nlast_page_type=" + m_lastPageType + "\n" + (m_audit ? m_audit->StatsText() : "");
  }

 private:
  const Account* Find(const std::string& user, const std::string& digest) const {
    for (const auto& a : *m_accounts)
      if (a.userName == user && PasswordDigestOf(a.password) == Lower(digest)) return &a;
    return nullptr;
  }

  Response Login(const Request& req) {
    std::string user = FromWire(req.Param("u"));
    std::string digest = req.Param("p");
    std::string ip = req.Param("ip");
    std::string mode;
    {
      std::lock_guard lock(m_lock);
      ++m_logins;
      m_lastUser = user;
      m_lastDigest = digest;
      m_lastIp = ip;
      mode = m_reply;
    }
    if (mode == "badjson") return Response::Text(200, "{\"statuscode\":\"0\",\"userid\":", kJson);
    if (mode == "empty") return Response::Text(200, "", kJson);

    std::map<std::string, std::string> members;
    if (const Account* a = Find(user, digest)) {
      members = a->fields;
      if (!members.count("statuscode")) members["statuscode"] = "0";
      members["ip"] = ip.empty() ? PeerAddress(req) : ip;
    } else {
      members["statuscode"] = "1000";
    }
    if (mode.rfind("status=", 0) == 0) members["statuscode"] = mode.substr(7);
    return Response::Text(200, JsonObject(members), kJson);
  }

  Response Score(const Request& req) {
    std::string userId = req.Param("userid");
    std::string forced;
    {
      std::lock_guard lock(m_lock);
      ++m_scoreRequests;
      m_lastScoreUser = userId;
      forced = m_scoresReply;
    }
    if (!forced.empty()) return Response::Text(200, forced == "-" ? "" : forced, kText);
    for (const auto& a : *m_accounts) {
      auto it = a.fields.find("userid");
      if (it != a.fields.end() && it->second == userId) return Response::Text(200, a.scores, kText);
    }
    return Response::Text(404, "no such user", kText);
  }

  Response RequestKey() {
    std::lock_guard lock(m_lock);
    // Under maintenance the server hands out no key.
    if (m_emptyKey) return Response::Text(200, "", kText);
    char key[32];
    std::snprintf(key, sizeof key, "K%08X", static_cast<unsigned>(0x5a17 + m_keys.size() * 7919));
    m_keys.insert(key);
    m_lastKey = key;
    return Response::Text(200, key, kText);
  }

  Response UserPage(const Request& req) {
    std::string user = FromWire(req.Param("u"));
    std::string key = req.Param("reqkey");
    std::string pageType = req.Param("pagetype");
    bool keyKnown;
    {
      std::lock_guard lock(m_lock);
      ++m_pageRequests;
      keyKnown = m_keys.count(key) != 0;
      m_lastPageUser = user;
      m_lastPageDigest = req.Param("p");
      m_lastPageKey = key;
      m_lastPageType = pageType;
    }
    const Account* a = Find(user, req.Param("p"));
    if (!keyKnown || !a)
      return Response::Text(403, Page("无法打开页面", "<p>请求已失效，请重新登录后再试。</p>"),
                            kHtml);
    auto field = [&](const char* k) {
      auto it = a->fields.find(k);
      return it == a->fields.end() ? std::string() : it->second;
    };
    std::string body = "<p>用户：" + HtmlEscape(field("nickname")) + "（" +
                       HtmlEscape(field("userid")) + "）</p><p>得分：" + HtmlEscape(a->scores) +
                       "</p><p>页面类型：" + HtmlEscape(pageType) + "</p>";
    return Response::Text(200, Page("我的测速记录", body), kHtml);
  }

  std::shared_ptr<std::vector<Account>> m_accounts;
  Paths m_paths;
  mutable std::mutex m_lock;
  std::string m_reply = "ok";
  std::string m_scoresReply;
  int m_logins = 0;
  int m_scoreRequests = 0;
  int m_pageRequests = 0;
  std::string m_lastUser, m_lastDigest, m_lastIp, m_lastScoreUser;
  std::set<std::string> m_keys;
  bool m_emptyKey = false;
  std::string m_lastKey, m_lastPageUser, m_lastPageDigest, m_lastPageKey, m_lastPageType;
  std::shared_ptr<AuditRoute> m_audit;
};

}  // namespace

std::string PasswordDigestOf(const std::string& utf8) {
  std::string bytes = ToGbk(utf8);
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&ctx, sizeof digest, digest);
  char hex[2 * MD5_DIGEST_SIZE + 1];
  for (int i = 0; i < MD5_DIGEST_SIZE; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

bool LoadAccounts(const std::string& path, std::vector<Account>* accounts, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read accounts file " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  rapidjson::Document doc;
  doc.Parse(text.str().c_str());
  const rapidjson::Value* list = nullptr;
  if (!doc.HasParseError() && doc.IsObject() && doc.HasMember("accounts")) list = &doc["accounts"];
  if (!list || !list->IsArray()) {
    *error = path + ": expected {\"accounts\": [ ... ]}";
    return false;
  }
  accounts->clear();
  for (const auto& item : list->GetArray()) {
    if (!item.IsObject() || !item.HasMember("username") || !item["username"].IsString() ||
        !item.HasMember("password") || !item["password"].IsString()) {
      *error = path + ": every account needs the strings \"username\" and \"password\"";
      return false;
    }
    Account a;
    for (const auto& m : item.GetObject()) {
      std::string key = m.name.GetString();
      std::string value;
      if (m.value.IsString()) {
        value = m.value.GetString();
      } else if (m.value.IsNumber()) {
        value = std::to_string(m.value.GetInt64());
      } else {
        continue;
      }
      if (key == "username")
        a.userName = value;
      else if (key == "password")
        a.password = value;
      else if (key == "scores")
        a.scores = value;
      else if (key == "audit")
        a.auditType = value;
      else
        a.fields[key] = value;
    }
    accounts->push_back(std::move(a));
  }
  return true;
}

std::vector<Account> DefaultAccounts() {
  Account a;
  a.userName = "demo";
  a.password = "demo123";
  a.fields = {{"statuscode", "0"},      {"userid", "10001"},
              {"nickname", "演示用户"}, {"location", "广东省 深圳市"},
              {"bandwidth", "100"},     {"rloc", "广东省深圳市"},
              {"roper", "中国电信"},    {"rcityid", "440300"},
              {"roperid", "1"},         {"usertype", "1"},
              {"locCityid", "440300"},  {"locOperid", "1"},
              {"locProid", "440000"}};
  a.scores = "86,90,82";
  return {a};
}

void RegisterManagementServerRole() {
  RoleSpec spec;
  spec.name = "management";
  spec.summary =
      "management server. GET /<project>/<interface>/<login>?u=&p=&ip= answers the login as "
      "JSON (u is the GBK name, percent-encoded; p the MD5 of the password); GET "
      "/<project>/<score>?userid= answers \"total,bandwidth,experience\"; GET /<project>/<view_k> "
      "hands out a request key and /<project>/<view>?u=&p=&reqkey=&pagetype= the user page; "
      "/speed/page/RegisterG.jsp and ForgetPsd.jsp are the registration and password pages; "
      "/speed/interface/audit.do answers {\"usertype\":...} (also on the time role). Paths come "
      "from the config.properties given; replies are UTF-8.";
  // The shipped configuration points the client at port 18080.
  spec.defaultPort = 18080;
  spec.flags = {
      {"management-accounts", "FILE",
       "accounts as JSON (see lab/data/accounts.json); default one account demo/demo123."},
      {"management-conf", "FILE",
       "config.properties whose web_project_name, interface, login_servlet, s_coru_e, view_ui "
       "and view_ui_k give the paths (default kestrane, client, login, score, view, viewk)."},
      {"management-reply", "MODE",
       "login answers: ok (by the accounts, default), badjson, empty, status=N (force the "
       "statuscode)."},
      {"management-audit", "TYPE", "usertype every audit request answers (default per account)."},
  };
  spec.controlHelp = {
      "reply=ok|badjson|empty|status=N, scores=TEXT (fixed score reply; \"-\" empty, \"\" by "
      "account)",
      "key=empty|\"\" (no request key: maintenance), audit=TYPE|empty|badjson|nomember|\"\" "
      "(the audit's answer; \"\" by account)",
      "stats add logins, last_user (UTF-8), last_digest, last_ip, score_requests, "
      "last_score_userid, key_requests, page_requests, last_key, last_page_user (UTF-8), "
      "last_page_digest, last_page_key, last_page_type, audit_mode, audit_requests, "
      "last_audit_dnsip, last_audit_ip, last_audit_userid"};
  spec.create = [] { return std::make_unique<ManagementServer>(); };
  RegisterRole(std::move(spec));
}

}  // namespace lab
