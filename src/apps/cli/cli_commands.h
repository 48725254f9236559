#pragma once

#include <string>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitLoginFailed = 2;
inline constexpr int kExitTestFailed = 3;

struct Options {
  std::string user;
  std::string password;
  std::string server;
  bool serverGiven = false;
  bool yes = false;
  bool json = false;
  bool interactive = false;  // stdin is a terminal: questions may be asked
  bool progress = false;     // stderr is a terminal: show the progress line
  // ping and trace
  std::string host;
  int count = 4;
  int hops = 30;
  int id = 0;
  // filedown
  std::string url;
};

// Logs in with the saved credentials: kExitOk, or kExitLoginFailed after saying why.
int LoginWithSavedCredentials();

// Logs in with the given name and password, saves the credentials, prints the user's data and
// scores.
int LoginCommand(const Options& options);

// Logs in with the saved credentials and runs a manual bandwidth test.
int BandwidthCommand(const Options& options);

// One ping or trace of `host`, printed as the collection records it (or its fields as JSON).
// Exit 0 when the probe succeeded, else 3.
int PingCommand(const Options& options);
int TraceCommand(const Options& options);

// Logs in with the saved credentials and runs a manual file download test of `options.url`
// (an item of the user's list when it matches one), or of the list's first item.
int FileDownCommand(const Options& options);

}  // namespace cli
