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

// Runs the address task, then the login; prints why it failed. Returns the login's code.
int DoLogin(const std::string& user, const std::string& password);
// Logs in with the saved credentials: kExitOk, or kExitLoginFailed with the reason told.
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

// Logs in with the saved credentials and runs automatic cycles headless until `cycles` have
// ended (0: until Ctrl-C). Exit 2 for an account that may not test automatically, 3 for an
// empty task list.
int AutoCommand(const Options& options, int cycles);

// Every environment measure and the verdict an automatic cycle would take. Exit 0 when the
// machine is fit, 3 when not.
int CheckCommand(const Options& options);
// Logs in with the saved credentials and runs a manual web page test of `url` in a browser
// without a window. Only in builds with the GUI.
int WebPageCommand(const std::string& url, const Options& options, int argc, char** argv);

}  // namespace cli
