#include "file_server.h"

#include "lab.h"
#include "test_server.h"

namespace lab {
namespace {

class FileServer : public Role {
 public:
  bool Setup(HttpServer& server, const Flags& flags, std::string* error) override {
    (void)flags;
    (void)error;
    server.Route("GET", "/files/*", [](const Request& req) {
      const std::string name = req.path.substr(7);
      const long long size = name.find('/') == std::string::npos ? TestFileSize(name) : -1;
      if (size < 0) return Response::Text(404, "Not Found");
      Response r;
      r.headers.emplace_back("Content-Type", ContentTypeFor(name));
      r.generatedLength = size;
      return r;
    });
    return true;
  }
};

}  // namespace

void RegisterFileServerRole() {
  RoleSpec spec;
  spec.name = "files";
  spec.summary =
      "file server of the file download test. GET /files/<n><B|KB|MB|GB>.<ext> serves n bytes "
      "(the test server's fixed pattern) with Content-Length, e.g. 1000001B.bin, 10MB.rar, "
      "2GB.bin. Faults as for every role; \"from=N\" lets the first requests of a path pass, "
      "so a probe is answered and its transfer fails.";
  spec.defaultPort = 18091;
  spec.create = [] { return std::make_unique<FileServer>(); };
  RegisterRole(std::move(spec));
}

}  // namespace lab
