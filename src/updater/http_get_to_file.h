#pragma once

#include <cstdint>
#include <string>

#include "updater/timing.h"

namespace updater {

struct UrlParts {
  std::string host;
  int port = 80;
  std::string target;
};

// Splits "http://host[:port]/target". False for a URL without "://", without a "/" after the
// host, with a bad port, or holding blanks or control characters.
bool SplitUrl(const std::string& url, UrlParts* parts);

// Whether a URL may be requested at all: no blanks, no control characters.
bool IsCleanUrl(const std::string& url);

// The exact request bytes of a download.
std::string RequestFor(const UrlParts& parts);

// Reads a response head: the status of its "HTTP/x.y NNN" line (0 when there is none) and the
// number after its first "Content-Length:" (-1 when missing or not a plain decimal).
void ParseResponseHead(const std::string& head, int* status, int64_t* length);

// Downloads `url` into `path` over a plain socket (HTTP/1.1, one request). True only when the
// status is 2xx and exactly Content-Length bytes (1 to maxBytes) arrived and were written
// within the time bound; anything else removes the file and returns false.
bool HttpGetToFile(const std::string& url, const std::string& path, int64_t maxBytes,
                   const UpdateTiming& timing);

}  // namespace updater
