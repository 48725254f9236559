#pragma once

#include <string>

// One SFTP upload: connect, check the server's key, log in, put one file under a temporary
// name and rename it to its own name once it is whole.
namespace psftp {

struct Target {
  std::string host;
  int port = 22;
  std::string user;
  std::string password;  // tried when not empty
  std::string keyFile;   // private key file (no passphrase), tried first when present
  std::string
      knownHostsFile;  // server keys seen before; a new server is added, a changed key refused
  std::string remoteFolder;  // "." when empty
};

struct Limits {
  int connectMs = 15000;  // TCP connection
  int stallMs = 30000;    // any single exchange with the server
  int totalMs = 540000;   // the whole transfer, below the ten minutes the program waits
};

struct Outcome {
  bool ok = false;
  std::string summary;  // short: "Success", "Failed: authentication", ...
  std::string detail;   // one line for the curious
};

Outcome PutFile(const Target& target, const std::string& localPath, const Limits& limits);

}  // namespace psftp
