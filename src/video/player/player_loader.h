#pragma once

// Loads libVideoPlayer.so from the program folder and makes its control. The library is
// loaded once per path and never unloaded: a control's threads and widget code live in it.

#include <memory>
#include <string>

#include "video/player/video_player.h"

namespace videoplayer {

inline constexpr const char* kLibraryName = "libVideoPlayer.so";

struct ControlDeleter {
  void (*destroy)(IVideoPlayerControl*) = nullptr;
  void operator()(IVideoPlayerControl* control) const {
    if (control && destroy) destroy(control);
  }
};

// Destroying the handle (window thread only) ends any play silently and joins its threads.
using ControlHandle = std::unique_ptr<IVideoPlayerControl, ControlDeleter>;

// Program folder + kLibraryName.
std::string LibraryPath();

// Makes a control whose widget is a child of `parent`. Window thread only. Returns null when
// the library cannot be loaded, lacks an export, or was built against another interface
// version; `error` (when given) then says why, for the log. A control whose decoders are
// missing is still made: its ReadyState() is not kReadyStateComplete and every start call
// answers "fail".
ControlHandle CreatePlayerControl(QWidget* parent, std::string* error = nullptr);
ControlHandle CreatePlayerControl(const std::string& libraryPath, QWidget* parent,
                                  std::string* error = nullptr);

// The three request texts the engine sends. `argument` is raw text; it is escaped as XML text.
std::string StartRequest(const std::string& url);      // "videoStartPaly"
std::string AutoStartRequest(const std::string& url);  // "autoVideoStartPaly"
std::string StopRequest(const std::string& url);       // "videoStopPaly"

}  // namespace videoplayer
