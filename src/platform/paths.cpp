#include "platform/paths.h"

namespace paths {

std::string Native(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string Join(std::string_view folder, std::string_view name) {
  std::string n = Native(name);
  if (!n.empty() && n[0] == '/') return n;
  if (n.size() >= 2 && n[1] == ':') return n;
  std::string f = Native(folder);
  if (f.empty()) return n;
  if (f.back() != '/') f.push_back('/');
  return f + n;
}

std::string FileName(std::string_view path) {
  auto pos = path.find_last_of("/\\");
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

}  // namespace paths
