#include "core/server_session.h"

#include <nettle/md5.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <thread>

#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "platform/codepage.h"

namespace session {

namespace {

std::atomic<int> g_addressWaitTries{kAddressWaitTries};
std::atomic<int64_t> g_addressWaitStepMs{kAddressWaitStep.count()};

// Decimal conversion of a reply value: leading blanks, an optional sign, then digits; anything
// that does not start like a number gives 0.
int DecimalValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<int>::max()) break;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

std::string Trimmed(std::string_view text);

// Server texts end up on lines of properties files and records, where a line end inside
// would end the line early (and lose the keys after it at the next load).
std::string OneLine(std::string text) {
  text.erase(
      std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
      text.end());
  return text;
}

// A value cut on a character boundary so that "key=value" fits a properties line.
std::string FitLine(const std::string& key, const std::string& value) {
  const size_t room = PropertiesFile::kMaxLineBytes - codepage::Utf8ToGbk(key).size() - 1;
  return codepage::CutToGbkBytes(OneLine(value), room);
}

bool IsDecimal(const std::string& text) {
  std::string t = Trimmed(text);
  size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  if (i >= t.size()) return false;
  for (; i < t.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
  return true;
}

// A member as text; numbers and booleans are accepted as their printed form. Null and other
// kinds count as absent.
bool MemberText(const rapidjson::Value& object, const char* key, std::string& out) {
  auto it = object.FindMember(key);
  if (it == object.MemberEnd()) return false;
  const rapidjson::Value& v = it->value;
  if (v.IsString()) {
    out = OneLine(codepage::SanitizeUtf8(std::string_view(v.GetString(), v.GetStringLength())));
  } else if (v.IsInt64()) {
    out = std::to_string(v.GetInt64());
  } else if (v.IsUint64()) {
    out = std::to_string(v.GetUint64());
  } else if (v.IsDouble()) {
    // A number beyond the 64-bit range has no whole-number form (and converting it would be
    // undefined): it counts as absent.
    const double d = v.GetDouble();
    if (!(d >= -0x1p63 && d < 0x1p63)) return false;
    out = std::to_string(static_cast<int64_t>(d));
  } else if (v.IsBool()) {
    out = v.GetBool() ? "1" : "0";
  } else {
    return false;
  }
  return true;
}

void ReadText(const rapidjson::Value& object, const char* key, std::string& field) {
  std::string text;
  if (MemberText(object, key, text)) field = text;
}

void ReadInt(const rapidjson::Value& object, const char* key, int& field) {
  std::string text;
  if (MemberText(object, key, text)) field = DecimalValue(text);
}

std::string Trimmed(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

std::string PageUrl(const char* page) {
  PropertiesFile config(conf::kConfig);
  config.Load();
  return "http://" + DecodeStoredValue(config.Get("update_server_url")) + ":" +
         config.Get("web_project_port") + "/speed/page/" + page;
}

}  // namespace

void SetAddressWait(int tries, std::chrono::milliseconds step) {
  g_addressWaitTries = tries;
  g_addressWaitStepMs = step.count();
}

std::string PasswordDigest(const std::string& password) {
  std::string bytes = codepage::Utf8ToGbk(password);
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&ctx, sizeof digest, digest);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

std::string EncodeQueryValue(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : codepage::Utf8ToGbk(value)) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

ServerParts ReadServerParts() {
  PropertiesFile config(conf::kConfig);
  config.Load();
  ServerParts parts;
  parts.host = DecodeStoredValue(config.Get("update_server_url"));
  parts.port = config.Get("web_project_port");
  parts.project = config.Get("web_project_name");
  parts.interfaceName = config.Get("interface");
  parts.loginServlet = config.Get("login_servlet");
  parts.scoreServlet = config.Get("s_coru_e");
  return parts;
}

std::string LoginUrl(const ServerParts& server, const std::string& userName,
                     const std::string& digest, const std::string& address) {
  std::string url = "http://" + server.host + ":" + server.port + "/" + server.project + "/" +
                    server.interfaceName + "/" + server.loginServlet +
                    "?u=" + EncodeQueryValue(userName) + "&p=" + EncodeQueryValue(digest);
  if (!address.empty()) url += "&ip=" + EncodeQueryValue(address);
  return url;
}

bool ParseLoginReply(const std::string& reply, UserInfo& info) {
  rapidjson::Document doc;
  doc.Parse(reply.c_str(), reply.size());
  if (doc.HasParseError() || !doc.IsObject()) return false;
  // Without a readable status the reply says nothing about the login; taking the previous
  // status (0 after start), or 0 for a non-number, would accept any unrelated JSON.
  std::string status;
  if (!MemberText(doc, "statuscode", status) || !IsDecimal(status)) return false;

  info.locatedCityId = 0;
  info.locatedOperatorId = 0;
  info.locatedProvinceId = 0;
  info.status = DecimalValue(status);
  ReadText(doc, "userid", info.userId);
  ReadText(doc, "nickname", info.nickname);
  ReadText(doc, "ip", info.address);
  std::string location;
  if (MemberText(doc, "location", location) && !location.empty()) {
    size_t blank = location.find(' ');
    if (blank == std::string::npos) {
      info.province = location;
      info.city.clear();
    } else {
      info.province = location.substr(0, blank);
      info.city = location.substr(blank);
    }
  }
  ReadInt(doc, "bandwidth", info.bandwidth);
  ReadText(doc, "rloc", info.registeredPlace);
  ReadText(doc, "roper", info.registeredOperator);
  ReadInt(doc, "rcityid", info.registeredCityId);
  ReadInt(doc, "roperid", info.registeredOperatorId);
  ReadInt(doc, "usertype", info.userType);
  ReadInt(doc, "locCityid", info.locatedCityId);
  ReadInt(doc, "locOperid", info.locatedOperatorId);
  ReadInt(doc, "locProid", info.locatedProvinceId);
  return true;
}

bool ParseScores(const std::string& reply, Scores& scores) {
  size_t first = reply.find(',');
  if (first == std::string::npos) return false;
  size_t second = reply.find(',', first + 1);
  if (second == std::string::npos) return false;
  size_t third = reply.find(',', second + 1);
  scores.total = Trimmed(std::string_view(reply).substr(0, first));
  scores.bandwidth = Trimmed(std::string_view(reply).substr(first + 1, second - first - 1));
  scores.experience = Trimmed(third == std::string::npos
                                  ? std::string_view(reply).substr(second + 1)
                                  : std::string_view(reply).substr(second + 1, third - second - 1));
  return true;
}

void SaveCredentials(const std::string& userName, const std::string& password,
                     const UserInfo& info) {
  PropertiesFile user(conf::kUser);
  user.Load();
  if (DecodeStoredValue(user.Get("username")) != userName) user.Set("rem", "1");
  user.Set("uname", FitLine("uname", info.nickname));
  user.Set("userid", FitLine("userid", info.userId));
  // Credentials too long for their line are not kept at all: a stale saved password would
  // only fail the next automatic login.
  const auto setOrClear = [&user](const char* key, const std::string& value) {
    if (!user.Set(key, value)) user.Set(key, "");
  };
  setOrClear("userpass", EncodeStoredValue(password));
  setOrClear("username", EncodeStoredValue(userName));
  user.Save(true);
}

int RunLogin(const std::string& userName, const std::string& password) {
  std::string digest = PasswordDigest(password);
  ServerParts server = ReadServerParts();

  CDataBase& data = CDataBase::Instance();
  std::string address = data.ClientAddress();
  // Waits for the discovery, not beyond its end: once it has ended without an address, the rest
  // of the wait would only hold the user up.
  for (int i = 0;
       address.empty() && !data.clientAddressSettled.load() && i < g_addressWaitTries.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(g_addressWaitStepMs.load()));
    address = data.ClientAddress();
  }
  // The discovery stores its address before it says it has ended.
  if (address.empty()) address = data.ClientAddress();

  std::string reply;
  int code = HttpGetText(LoginUrl(server, userName, digest, address), reply);
  if (code != 0) {
    logs::Write(logs::kMain, "login request failed, code %d", code);
    return kLoginNetworkError;
  }
  UserInfo info = data.GetUserInfo();
  if (!ParseLoginReply(reply, info)) {
    logs::Write(logs::kMain, "login reply unreadable");
    return kLoginNetworkError;
  }
  data.SetUserInfo(info);

  if (info.status == kLoginAccepted) {
    // Saving stamps "pre_date" with this login; the greeting shows the one before it.
    data.SetPreviousLogin(conf::Read(conf::kUser, "pre_date"));
    SaveCredentials(userName, password, info);
    Scores scores;
    if (FetchScores(scores)) data.SetScores(scores);
  }
  return info.status;
}

void Login(const std::string& userName, const std::string& password,
           std::function<void(int code)> onDone) {
  std::thread([userName, password, onDone = std::move(onDone)] {
    int code = RunLogin(userName, password);
    if (onDone) onDone(code);
  }).detach();
}

bool FetchScores(Scores& scores) {
  ServerParts server = ReadServerParts();
  std::string userId = conf::Read(conf::kUser, "userid");
  std::string url = "http://" + server.host + ":" + server.port + "/" + server.project + "/" +
                    server.scoreServlet + "?userid=" + EncodeQueryValue(userId);
  std::string reply;
  if (HttpGetText(url, reply) != 0) return false;
  return ParseScores(reply, scores);
}

bool LoadSavedCredentials(std::string& userName, std::string& password) {
  PropertiesFile user(conf::kUser);
  user.Load();
  userName = DecodeStoredValue(user.Get("username"));
  password = DecodeStoredValue(user.Get("userpass"));
  return !userName.empty() && !password.empty();
}

bool AutoLoginWanted(const std::vector<std::string>& args) {
  bool update = false, logoff = false;
  for (const auto& arg : args) {
    if (arg == "update") update = true;
    if (arg == "logoff") logoff = true;
  }
  if (update) return true;
  return conf::Read(conf::kUser, "auto") == "1" && !logoff;
}

std::string RegisterPageUrl() { return PageUrl("RegisterG.jsp"); }
std::string ForgottenPasswordPageUrl() { return PageUrl("ForgetPsd.jsp"); }

}  // namespace session
