#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/user_info.h"

// The session with the management server: the login request and its reply, the saved
// credentials, automatic login and the score request.
namespace session {

// Login results handed to the completion callback. The server's "statuscode" is passed on as
// it stands; 2 also stands for a request that failed or a reply that could not be read.
inline constexpr int kLoginAccepted = 0;
inline constexpr int kLoginNetworkError = 2;
inline constexpr int kLoginPasswordReset = 3;
inline constexpr int kLoginServerSilent = 4;
inline constexpr int kLoginWrongPassword = 1000;

// The login waits for the client address from the start-up address task: up to this many
// looks, one step apart.
inline constexpr int kAddressWaitTries = 20;
inline constexpr std::chrono::milliseconds kAddressWaitStep{1000};

// Shortens (or restores) the address wait; for tests.
void SetAddressWait(int tries, std::chrono::milliseconds step);

// Starts the login worker and returns at once. The worker calls `onDone` with the result
// code as its very last action, on the worker thread.
void Login(const std::string& userName, const std::string& password,
           std::function<void(int code)> onDone);

// The login worker's body, run on the calling thread; returns the code.
int RunLogin(const std::string& userName, const std::string& password);

// The score request. On success fills the three texts (total, bandwidth, experience).
bool FetchScores(Scores& scores);

// The saved user name and password, decoded; true only when both are non-empty.
bool LoadSavedCredentials(std::string& userName, std::string& password);

// Whether the program should log in without waiting for the user. `args` are the command
// line's arguments after the program name.
bool AutoLoginWanted(const std::vector<std::string>& args);

// Building blocks, exposed for the windows that open user pages and for tests.

// MD5 of the text's GBK bytes as 32 lower-case hexadecimal digits.
std::string PasswordDigest(const std::string& password);

// Percent-encodes a query value: the text's GBK bytes, every byte outside A-Z a-z 0-9 "-._~"
// written as "%XX".
std::string EncodeQueryValue(const std::string& value);

// The management server's address parts from "conf\config.properties", read at each use.
struct ServerParts {
  std::string host;  // decoded "update_server_url"
  std::string port;  // "web_project_port"
  std::string project;
  std::string interfaceName;
  std::string loginServlet;
  std::string scoreServlet;
};
ServerParts ReadServerParts();

std::string LoginUrl(const ServerParts& server, const std::string& userName,
                     const std::string& digest, const std::string& address);

// Parses a login reply into `info`. Absent keys leave fields as they are, but the three
// located ids are reset first. False when the text is not a JSON object holding
// "statuscode".
bool ParseLoginReply(const std::string& reply, UserInfo& info);

// Splits a score reply "total,bandwidth,experience". False when it has fewer than three fields.
bool ParseScores(const std::string& reply, Scores& scores);

// Writes the credentials of an accepted login to "conf\l_c_config_01.properties".
void SaveCredentials(const std::string& userName, const std::string& password,
                     const UserInfo& info);

// The registration and forgotten-password pages of the management server.
std::string RegisterPageUrl();
std::string ForgottenPasswordPageUrl();

}  // namespace session
