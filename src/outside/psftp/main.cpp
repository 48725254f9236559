// PSFTP: sends one result package to the collection server.
//
//   PSFTP "open  <host>" "cd <remote folder>" <local folder>
//
// The package to send is named by the "put <path>" command in "<local folder>/sftpconfigure.ini"
// (section "sftpput", key "filename"). The answer goes to "<local folder>/sftpresult.ini": its
// first line is "Success" or "Failed: <reason>", the second "package=<file name>" (so a
// waiting uploader knows which package the answer is for), the third a detail. Port, user and
// password come from the upload account of "conf/config.xml"; a private key "conf/psftp_key", when
// present, is tried before the password. Server keys are remembered in "conf/psftp_known_hosts".
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/log_file.h"
#include "outside/psftp/sftp_transfer.h"
#include "outside/psftp/upload_account.h"
#include "platform/atomic_file.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

namespace {

std::string Trim(const std::string& text) {
  size_t b = text.find_first_not_of(" \t\"");
  if (b == std::string::npos) return {};
  size_t e = text.find_last_not_of(" \t\"");
  return text.substr(b, e - b + 1);
}

bool StartsWithWord(const std::string& text, const std::string& word) {
  return text.size() > word.size() && text.compare(0, word.size(), word) == 0 &&
         (text[word.size()] == ' ' || text[word.size()] == '\t');
}

// The answer is written whole under another name and renamed, so the waiting program never reads
// half of it.
bool WriteResult(const std::string& folder, const std::string& package,
                 const psftp::Outcome& outcome) {
  auto oneLine = [](std::string text) {
    for (char& ch : text)
      if (ch == '\r' || ch == '\n') ch = ' ';
    return text;
  };
  return platform::WriteFileAtomically(
      folder + "\\sftpresult.ini", outcome.summary + "\r\npackage=" + oneLine(package) + "\r\n" +
                                       oneLine(outcome.detail) + "\r\n");
}

int EnvMs(const char* name, int fallback) {
  const char* value = std::getenv(name);
  if (!value || !*value) return fallback;
  int ms = std::atoi(value);
  return ms > 0 ? ms : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  // A server that drops the connection must give a failure answer, not kill the program.
  signal(SIGPIPE, SIG_IGN);
  psftp::Target target;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    std::string word = Trim(argv[i]);
    if (StartsWithWord(word, "open"))
      target.host = Trim(word.substr(4));
    else if (StartsWithWord(word, "cd"))
      target.remoteFolder = Trim(word.substr(2));
    else if (!word.empty())
      folder = word;
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: PSFTP \"open  <host>\" \"cd <folder>\" <local folder>\n");
    return 2;
  }

  psftp::Outcome outcome;
  std::string put = Trim(
      platform::GetPrivateProfileString("sftpput", "filename", "", folder + "\\sftpconfigure.ini"));
  std::string local;
  if (!StartsWithWord(put, "put")) {
    outcome = {false, "Failed: no put command", "sftpconfigure.ini holds no put command"};
  } else if (!psftp::LoadUploadAccount(target)) {
    outcome = {false, "Failed: no upload account", "conf/config.xml could not be read"};
  } else {
    local = Trim(put.substr(3));
    target.keyFile = "conf/psftp_key";
    target.knownHostsFile = "conf/psftp_known_hosts";
    psftp::Limits limits;
    // Tests make the server-facing waits short; the defaults stand otherwise.
    limits.connectMs = EnvMs("KESTRANE_PSFTP_CONNECT_MS", limits.connectMs);
    limits.stallMs = EnvMs("KESTRANE_PSFTP_STALL_MS", limits.stallMs);
    outcome = psftp::PutFile(target, local, limits);
  }

  LogFile log;
  log.OpenDaily("log\\%Y-%m-%dPSFTP.log");
  log.Write("%s:%d %s; %s", target.host.c_str(), target.port, outcome.summary.c_str(),
            outcome.detail.c_str());
  log.Close();

  if (!WriteResult(folder, paths::FileName(local), outcome)) return 3;
  return outcome.ok ? 0 : 1;
}
