#include "outside/psftp/sftp_transfer.h"

#include <fcntl.h>
#include <libssh2.h>
#include <libssh2_sftp.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/paths.h"

namespace psftp {
namespace {

using Clock = std::chrono::steady_clock;

std::string BaseName(const std::string& path) {
  auto pos = path.find_last_of("/\\");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

// Connects within `timeoutMs`; -1 and a reason on failure.
int ConnectWithin(const std::string& host, int port, int timeoutMs, std::string& why) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) {
    why = std::string("cannot resolve ") + host + ": " + gai_strerror(rc);
    return -1;
  }
  int fd = -1;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int c = connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (c != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int ready = poll(&p, 1, timeoutMs);
      int err = 0;
      socklen_t len = sizeof err;
      if (ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
        c = 0;
      } else {
        why = ready == 0 ? "connection timed out"
                         : std::string("connect: ") + std::strerror(err ? err : errno);
      }
    } else if (c != 0) {
      why = std::string("connect: ") + std::strerror(errno);
    }
    if (c == 0) {
      fcntl(fd, F_SETFL, flags);
      break;
    }
    close(fd);
    fd = -1;
  }
  freeaddrinfo(list);
  return fd;
}

std::string LastError(LIBSSH2_SESSION* session) {
  char* message = nullptr;
  int length = 0;
  int code = libssh2_session_last_error(session, &message, &length, 0);
  std::string text = message ? std::string(message, static_cast<size_t>(length)) : "";
  return text + " (" + std::to_string(code) + ")";
}

int KnownHostKeyType(int hostKeyType) {
  switch (hostKeyType) {
    case LIBSSH2_HOSTKEY_TYPE_RSA:
      return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    case LIBSSH2_HOSTKEY_TYPE_DSS:
      return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
#ifdef LIBSSH2_HOSTKEY_TYPE_ECDSA_256
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_256:
      return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_384:
      return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_521:
      return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
#endif
#ifdef LIBSSH2_HOSTKEY_TYPE_ED25519
    case LIBSSH2_HOSTKEY_TYPE_ED25519:
      return LIBSSH2_KNOWNHOST_KEY_ED25519;
#endif
    default:
      return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
  }
}

// Remembers a server's key at first contact and refuses a server whose key has changed since.
bool CheckHostKey(LIBSSH2_SESSION* session, const Target& target, std::string& why) {
  if (target.knownHostsFile.empty()) return true;
  size_t length = 0;
  int type = 0;
  const char* key = libssh2_session_hostkey(session, &length, &type);
  if (!key) {
    why = "server sent no host key";
    return false;
  }
  LIBSSH2_KNOWNHOSTS* hosts = libssh2_knownhost_init(session);
  if (!hosts) {
    why = "known hosts unavailable";
    return false;
  }
  struct stat st {};
  if (stat(target.knownHostsFile.c_str(), &st) == 0)
    libssh2_knownhost_readfile(hosts, target.knownHostsFile.c_str(),
                               LIBSSH2_KNOWNHOST_FILE_OPENSSH);
  int typeMask =
      LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | KnownHostKeyType(type);
  int check = libssh2_knownhost_checkp(hosts, target.host.c_str(), target.port, key, length,
                                       typeMask, nullptr);
  bool ok = true;
  if (check == LIBSSH2_KNOWNHOST_CHECK_MISMATCH) {
    why = "host key of " + target.host + " has changed";
    ok = false;
  } else if (check == LIBSSH2_KNOWNHOST_CHECK_NOTFOUND) {
    // The file keeps "[host]:port" entries for ports other than 22, as OpenSSH does.
    std::string name =
        target.port == 22 ? target.host : "[" + target.host + "]:" + std::to_string(target.port);
    if (libssh2_knownhost_addc(hosts, name.c_str(), nullptr, key, length, nullptr, 0, typeMask,
                               nullptr) == 0)
      libssh2_knownhost_writefile(hosts, target.knownHostsFile.c_str(),
                                  LIBSSH2_KNOWNHOST_FILE_OPENSSH);
  } else if (check == LIBSSH2_KNOWNHOST_CHECK_FAILURE) {
    why = "host key check failed";
    ok = false;
  }
  libssh2_knownhost_free(hosts);
  return ok;
}

bool Authenticate(LIBSSH2_SESSION* session, const Target& target, std::string& why) {
  const char* methods = libssh2_userauth_list(session, target.user.c_str(),
                                              static_cast<unsigned>(target.user.size()));
  if (!methods) {
    if (libssh2_userauth_authenticated(session)) return true;
    why = "no login methods: " + LastError(session);
    return false;
  }
  std::string offered = methods;
  struct stat st {};
  if (!target.keyFile.empty() && stat(target.keyFile.c_str(), &st) == 0 &&
      offered.find("publickey") != std::string::npos) {
    if (libssh2_userauth_publickey_fromfile(session, target.user.c_str(), nullptr,
                                            target.keyFile.c_str(), "") == 0)
      return true;
    why = "key refused: " + LastError(session);
  }
  if (!target.password.empty() && offered.find("password") != std::string::npos) {
    if (libssh2_userauth_password(session, target.user.c_str(), target.password.c_str()) == 0)
      return true;
    why = "password refused: " + LastError(session);
    return false;
  }
  if (why.empty()) why = "no usable login method (server offers " + offered + ")";
  return false;
}

// Everything that must be released at the end of a transfer, in reverse order.
struct Connection {
  int fd = -1;
  LIBSSH2_SESSION* session = nullptr;
  LIBSSH2_SFTP* sftp = nullptr;
  ~Connection() {
    if (sftp) libssh2_sftp_shutdown(sftp);
    if (session) {
      libssh2_session_disconnect(session, "done");
      libssh2_session_free(session);
    }
    if (fd >= 0) close(fd);
  }
};

Outcome Fail(std::string summary, std::string detail) {
  return Outcome{false, "Failed: " + std::move(summary), std::move(detail)};
}

}  // namespace

Outcome PutFile(const Target& target, const std::string& localPath, const Limits& limits) {
  static const int initialised = libssh2_init(0);
  if (initialised != 0) return Fail("ssh library", "libssh2_init failed");
  const auto deadline = Clock::now() + std::chrono::milliseconds(limits.totalMs);

  std::ifstream local(paths::Native(localPath), std::ios::binary);
  if (!local) return Fail("local file", "cannot open " + localPath);
  local.seekg(0, std::ios::end);
  const auto localSize = static_cast<uint64_t>(local.tellg());
  local.seekg(0);

  if (target.host.empty()) return Fail("no host", "the upload account names no server");
  Connection c;
  std::string why;
  c.fd = ConnectWithin(target.host, target.port, limits.connectMs, why);
  if (c.fd < 0) return Fail("connect", why);

  c.session = libssh2_session_init();
  if (!c.session) return Fail("ssh library", "no session");
  libssh2_session_set_blocking(c.session, 1);
  libssh2_session_set_timeout(c.session, limits.stallMs);
  if (libssh2_session_handshake(c.session, c.fd) != 0)
    return Fail("handshake", LastError(c.session));
  if (!CheckHostKey(c.session, target, why)) return Fail("host key", why);
  if (!Authenticate(c.session, target, why)) return Fail("authentication", why);

  c.sftp = libssh2_sftp_init(c.session);
  if (!c.sftp) return Fail("sftp", LastError(c.session));

  auto isFolder = [&](const std::string& path) {
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    return libssh2_sftp_stat(c.sftp, path.c_str(), &attrs) == 0 &&
           (attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && LIBSSH2_SFTP_S_ISDIR(attrs.permissions);
  };
  std::string folder = target.remoteFolder.empty() ? "." : target.remoteFolder;
  if (!isFolder(folder)) {
    // The change-folder word puts "." before the configured folder ("./upload" for "/upload");
    // on a server where the folder hangs off the root rather than the login folder, the
    // configured folder itself is meant.
    if (folder.size() > 2 && folder.compare(0, 2, "./") == 0 && isFolder(folder.substr(1)))
      folder = folder.substr(1);
    else
      return Fail("remote folder", "no folder " + folder);
  }

  const std::string name = BaseName(localPath);
  const std::string finalPath = folder + "/" + name;
  // A half-sent package never shows under a package name.
  const std::string partPath = finalPath + ".part";

  LIBSSH2_SFTP_HANDLE* handle = libssh2_sftp_open(
      c.sftp, partPath.c_str(), LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_TRUNC,
      LIBSSH2_SFTP_S_IRUSR | LIBSSH2_SFTP_S_IWUSR | LIBSSH2_SFTP_S_IRGRP | LIBSSH2_SFTP_S_IROTH);
  if (!handle) return Fail("open remote", partPath + ": " + LastError(c.session));

  std::vector<char> buffer(1024 * 1024);
  uint64_t sent = 0;
  std::string writeError;
  while (writeError.empty()) {
    local.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    std::streamsize got = local.gcount();
    if (got <= 0) break;
    const char* p = buffer.data();
    size_t left = static_cast<size_t>(got);
    while (left > 0) {
      if (Clock::now() > deadline) {
        writeError = "transfer took too long";
        break;
      }
      ssize_t n = libssh2_sftp_write(handle, p, left);
      if (n <= 0) {
        writeError = LastError(c.session);
        break;
      }
      p += n;
      left -= static_cast<size_t>(n);
      sent += static_cast<uint64_t>(n);
    }
  }
  if (writeError.empty() && local.bad()) writeError = "read error on " + localPath;
  if (libssh2_sftp_close(handle) != 0 && writeError.empty()) writeError = LastError(c.session);
  if (!writeError.empty() || sent != localSize) {
    libssh2_sftp_unlink(c.sftp, partPath.c_str());
    return Fail("write", writeError.empty() ? "short transfer" : writeError);
  }

  // An older copy under the final name (a success whose answer was lost) is replaced. That
  // copy is only ours to delete while our ".part" is still there to take its place: when the
  // ".part" has gone, another sender of the same package has already renamed it, and the file
  // under the final name is the package it delivered.
  if (libssh2_sftp_rename(c.sftp, partPath.c_str(), finalPath.c_str()) != 0) {
    std::string detail = LastError(c.session);
    LIBSSH2_SFTP_ATTRIBUTES part{};
    if (libssh2_sftp_stat(c.sftp, partPath.c_str(), &part) == 0) {
      libssh2_sftp_unlink(c.sftp, finalPath.c_str());
      if (libssh2_sftp_rename(c.sftp, partPath.c_str(), finalPath.c_str()) != 0) {
        detail = LastError(c.session);
        libssh2_sftp_unlink(c.sftp, partPath.c_str());
        return Fail("rename", detail);
      }
    }
  }
  LIBSSH2_SFTP_ATTRIBUTES done{};
  if (libssh2_sftp_stat(c.sftp, finalPath.c_str(), &done) != 0 ||
      !(done.flags & LIBSSH2_SFTP_ATTR_SIZE) || done.filesize != localSize)
    return Fail("verify", "remote size differs for " + finalPath);

  return Outcome{true, "Success", name + " " + std::to_string(sent) + " bytes to " + finalPath};
}

}  // namespace psftp
