#include "update_server.h"

#include <sys/stat.h>

#include <mutex>

#include "lab.h"

namespace lab {

namespace {

class UpdateServer : public Role {
 public:
  bool Setup(HttpServer& server, const Flags& flags, std::string* error) override {
    if (!Control("root", flags.Get("update-root", "."), error)) return false;
    server.Route("GET", "/*", [this](const Request& req) {
      // No way out of the folder: reject any ".." segment.
      std::string p = req.path;
      if (p.find("/../") != std::string::npos ||
          (p.size() >= 3 && p.compare(p.size() - 3, 3, "/..") == 0) ||
          p.find('\0') != std::string::npos)
        return Response::Text(404, "Not Found");
      std::string file;
      {
        std::lock_guard<std::mutex> lock(m_lock);
        file = m_root + p;
      }
      struct stat st {};
      if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Response::Text(404, "Not Found");
      Response r;
      r.headers.emplace_back("Content-Type", ContentTypeFor(file));
      r.filePath = file;
      return r;
    });
    return true;
  }

  bool Control(const std::string& name, const std::string& value, std::string* reply) override {
    if (name != "root") {
      *reply = "unknown setting " + name;
      return false;
    }
    struct stat st {};
    if (stat(value.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      *reply = "no folder " + value;
      return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_root = value;
    while (m_root.size() > 1 && m_root.back() == '/') m_root.pop_back();
    return true;
  }

 private:
  std::mutex m_lock;
  std::string m_root;
};

}  // namespace

void RegisterUpdateServerRole() {
  RoleSpec spec;
  spec.name = "update";
  spec.summary =
      "update server. GET or HEAD /<path> serves the file <root>/<path> with Content-Length "
      "(404 for anything else).";
  spec.flags = {
      {"update-root", "DIR", "the folder served (default the current folder)."},
  };
  spec.controlHelp = {"root=DIR"};
  spec.create = [] { return std::make_unique<UpdateServer>(); };
  RegisterRole(std::move(spec));
}

}  // namespace lab
