#include "video/player/player_loader.h"

#include <dlfcn.h>

#include "platform/paths.h"
#include "platform/program_folder.h"

namespace videoplayer {
namespace {

using VersionFn = int (*)();
using CreateFn = IVideoPlayerControl* (*)(QWidget*);
using DestroyFn = void (*)(IVideoPlayerControl*);

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string EscapeXmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Invoke(const char* name, const std::string& argument) {
  return std::string("<invoke name=\"") + name + "\" returntype=\"xml\"><arguments><string>" +
         EscapeXmlText(argument) + "</string></arguments></invoke>";
}

}  // namespace

std::string LibraryPath() { return paths::Join(platform::ProgramFolder(), kLibraryName); }

ControlHandle CreatePlayerControl(QWidget* parent, std::string* error) {
  return CreatePlayerControl(LibraryPath(), parent, error);
}

ControlHandle CreatePlayerControl(const std::string& libraryPath, QWidget* parent,
                                  std::string* error) {
  // Never closed: the loader counts references, and a control's code must stay mapped.
  void* handle = ::dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    SetError(error, why ? why : "cannot load " + libraryPath);
    return {};
  }
  auto version = reinterpret_cast<VersionFn>(::dlsym(handle, "VideoPlayerInterfaceVersion"));
  auto create = reinterpret_cast<CreateFn>(::dlsym(handle, "CreateVideoPlayerControl"));
  auto destroy = reinterpret_cast<DestroyFn>(::dlsym(handle, "DestroyVideoPlayerControl"));
  if (!version || !create || !destroy) {
    SetError(error, libraryPath + " lacks the player exports");
    return {};
  }
  if (version() != kVideoPlayerInterfaceVersion) {
    SetError(error, libraryPath + " was built for another interface version");
    return {};
  }
  IVideoPlayerControl* control = create(parent);
  if (!control) {
    SetError(error, "the player could not make its control");
    return {};
  }
  return ControlHandle(control, ControlDeleter{destroy});
}

std::string StartRequest(const std::string& url) { return Invoke("videoStartPaly", url); }
std::string AutoStartRequest(const std::string& url) { return Invoke("autoVideoStartPaly", url); }
std::string StopRequest(const std::string& url) { return Invoke("videoStopPaly", url); }

}  // namespace videoplayer
