// The outside download library: one export, HttpDownLoad, fetching a whole file over HTTP into
// a destination path and checking its MD5 digest. The file is received under a temporary name
// beside the destination and renamed into place only when it is complete and verified, so a
// failed download never leaves a partial file where the caller looks for it.
#include <curl/curl.h>
#include <fcntl.h>
#include <nettle/md5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum Result {
  kOk = 1,
  kPathError = 101,
  kConnectError = 102,
  kRequestError = 103,
  kResponseError = 104,
  kNotFound = 105,
  kSizeError = 106,
  kFolderError = 107,
  kDigestError = 108,
};

struct Transfer {
  int fd = -1;
  md5_ctx md5{};
  bool writeFailed = false;
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  size_t total = size * count;
  size_t done = 0;
  while (done < total) {
    ssize_t n = ::write(t->fd, data + done, total - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      t->writeFailed = true;
      return 0;  // makes curl stop with CURLE_WRITE_ERROR
    }
    done += static_cast<size_t>(n);
  }
  md5_update(&t->md5, total, reinterpret_cast<const uint8_t*>(data));
  return total;
}

std::string HexDigest(md5_ctx* ctx) {
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(ctx, MD5_DIGEST_SIZE, digest);
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) {
    out.push_back(hex[b >> 4]);
    out.push_back(hex[b & 15]);
  }
  return out;
}

bool SameDigest(const std::string& got, const char* expected) {
  std::string e(expected);
  while (!e.empty() && (e.back() == ' ' || e.back() == '\r' || e.back() == '\n')) e.pop_back();
  size_t b = e.find_first_not_of(' ');
  e = b == std::string::npos ? std::string() : e.substr(b);
  if (e.size() != got.size()) return false;
  for (size_t i = 0; i < e.size(); ++i) {
    char c = e[i];
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (c != got[i]) return false;
  }
  return true;
}

int MapCurlError(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR:
      return kConnectError;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_SEND_ERROR:
      return kRequestError;
    case CURLE_PARTIAL_FILE:
      return kSizeError;
    case CURLE_WRITE_ERROR:
      return kFolderError;
    default:
      return kResponseError;
  }
}

// Seconds without a byte before a download is given up; tests shorten it through the
// environment.
long StallSeconds() {
  const char* text = std::getenv("KESTRANE_DOWNLOAD_STALL_SECONDS");
  if (text && *text) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end && *end == '\0' && value > 0 && value <= 3600) return value;
  }
  return 60;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int HttpDownLoad(const char* url,
                                                                   const char* path,
                                                                   const char* md5) {
  if (!url || !path || !*url || !*path) return kPathError;
  std::string target(path);
  for (char& c : target)
    if (c == '\\') c = '/';
  if (target.back() == '/') return kPathError;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kPathError;
  std::string folder = FolderOf(target);
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kPathError;

  static std::atomic<unsigned> counter{0};
  std::string temp =
      target + ".part" + std::to_string(::getpid()) + "_" + std::to_string(counter.fetch_add(1));
  Transfer t;
  t.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (t.fd < 0) return kFolderError;
  md5_init(&t.md5);

  CURL* curl = curl_easy_init();
  if (!curl) {
    ::close(t.fd);
    ::unlink(temp.c_str());
    return kRequestError;
  }
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Kestrane");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  // A stalled server ends the download instead of holding the caller for ever.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, StallSeconds());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnData);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  CURLcode rc = curl_easy_perform(curl);

  int result = kOk;
  long status = 0;
  curl_off_t announced = -1;
  curl_off_t received = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &received);
  curl_off_t connected = 0;
  curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
  curl_easy_cleanup(curl);

  if (rc != CURLE_OK) {
    result = t.writeFailed ? kFolderError : MapCurlError(rc);
    // A time-out once connected is a server that stopped answering, not a failed connection.
    if (rc == CURLE_OPERATION_TIMEDOUT && connected > 0) result = kResponseError;
  } else if (status == 404) {
    result = kNotFound;
  } else if (status < 200 || status >= 300) {
    result = kResponseError;
  } else if (announced < 0 || announced != received) {
    // Without the size announced the file cannot be known to be whole.
    result = kSizeError;
  }
  if (::fsync(t.fd) != 0 && result == kOk) result = kFolderError;
  if (::close(t.fd) != 0 && result == kOk) result = kFolderError;
  if (result == kOk && md5 && *md5 && !SameDigest(HexDigest(&t.md5), md5)) result = kDigestError;
  if (result == kOk && ::rename(temp.c_str(), target.c_str()) != 0) result = kFolderError;
  if (result != kOk) ::unlink(temp.c_str());
  return result;
}
