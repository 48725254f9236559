#pragma once

// The interface between the video test engine and the player library libVideoPlayer.so. The
// engine never links the library: it loads it from the program folder at run time
// (video/player/player_loader.h) and talks to the control only through this header, so both
// sides must be built from the same copy of it (the loader checks kVideoPlayerInterfaceVersion).

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace videoplayer {

// Raised whenever the layout of anything below changes.
inline constexpr int kVideoPlayerInterfaceVersion = 2;

// Ready state of a control whose decoders were found (H.264 video and AAC audio); any other
// value means the control exists but cannot play.
inline constexpr int kReadyStateComplete = 4;
inline constexpr int kReadyStateNoDecoders = 0;

// Durations and sizes a play works with. Tests shorten them through SetLimitsForTest.
struct PlayerLimits {
  int openTimeoutMs = 15000;  // start call → first frame decoded, else "fail"
  int stallLimitMs = 30000;   // one stall longer than this ends the play with field 7 "false"
  int playLimitMs = 120000;   // a play ends as completed ("true") after this long
  int64_t bufferBytes = int64_t{256} << 20;  // the transfer pauses while this much is held
};

// What the last finished play measured, beyond the seven fields of its result text. Valid once
// the play's callback has been made (read it from the callback or after it).
struct PlayStatistics {
  bool valid = false;          // a play has finished since the control was made
  int64_t bytes = 0;           // body bytes received
  int64_t contentLength = -1;  // the reply's Content-Length, -1 when it had none
  double maxSpeedKBps = 0;
  double loadingSeconds = 0;   // start call → first frame handed to the control
  double totalSeconds = 0;     // start call → end of play
  double transferSeconds = 0;  // start call → last byte (or end of play)
  int stalls = 0;
  double stallSeconds = 0;
  int64_t framesShown = 0;
  int64_t framesLate = 0;     // shown more than a frame interval after they were due
  int64_t framesDropped = 0;  // decoded too late to be shown: dropped to keep the pace
  double mediaSeconds = 0;    // media time shown
  std::string videoCodec;     // "h264", "flv1", ...; empty when no stream was opened
  std::string audioCodec;
  double cpuSeconds = 0;  // CPU time of the play's threads
  std::string result;     // the callback text the play ended with
};

// The player control. Create it through the loader; destroy it through the same loader handle.
//
// Threads:
//  - Create, destroy and Widget() belong to the window thread (the widget is a child of the
//    parent given at creation). Destroying ends any play silently and joins its threads (they
//    stop within a fraction of a second); it also waits for a callback that is running.
//  - CallFunction, ReadyState, FlashVersion, Statistics and SetLimitsForTest may be called from
//    any thread. CallFunction returns at once: it never waits for the network or for a play to
//    wind down, only for a callback of the play it ends that is running at that moment.
//  - The callback is made on the play's own worker thread, never on the window thread. The
//    engine must hand the text over to its own thread (ui::Post) and return quickly; it must
//    not wait there for the window thread. Calling CallFunction from inside the callback is
//    allowed.
//  - Once CallFunction with a stop or a new start has returned, the play it ended makes no
//    callback at all. Every other start ends with exactly one callback.
class IVideoPlayerControl {
 public:
  using Callback = std::function<void(const std::string& request)>;

  virtual ~IVideoPlayerControl() = default;

  // The widget the frames are drawn in (also holds the close button). Owned by its parent.
  virtual QWidget* Widget() = 0;

  // Takes one invoke text:
  //   <invoke name="videoStartPaly"
  //   returntype="xml"><arguments><string>URL</string></arguments></invoke> <invoke
  //   name="autoVideoStartPaly" ...>  (plays exactly like videoStartPaly) <invoke
  //   name="videoStopPaly" ...>       (ends the play silently; its argument is ignored)
  // The URL is XML text ("&amp;" etc. are decoded). A start while a play runs ends that play
  // silently first. Returns the reply text: "<string>ok</string>" when the call was taken,
  // "<undefined/>" for an unknown or malformed call. Replies carry no result; results come
  // only through the callback.
  virtual std::string CallFunction(const std::string& request) = 0;

  // Receives the player's texts, exactly one per play:
  //   <invoke name="VideoInfomation"
  //   returntype="xml"><arguments><string>F1#F2#F3#F4#F5#F6#F7</string></arguments></invoke>
  //   <invoke name="fail" returntype="xml"><arguments><string>REASON</string></arguments></invoke>
  //   <invoke name="VideoSpeedChildQuit"
  //   returntype="xml"><arguments><string></string></arguments></invoke>
  // Fields: MAXSPEED KB/s "%.1f" # loadingtime s "%.2f" # totalsize KB # speed KB/s "%.1f" #
  //         loadsize KB # totaltime s "%.2f" # "true"/"false".
  // Set it before the first start; setting it again replaces it (an empty one drops texts).
  virtual void SetCallback(Callback callback) = 0;

  // kReadyStateComplete when the decoders were found when the control was made.
  virtual int ReadyState() const = 0;

  // The decoder library's version: major << 16 | minor.
  virtual long FlashVersion() const = 0;

  virtual PlayStatistics Statistics() const = 0;

  // Applies to plays started afterwards.
  virtual void SetLimitsForTest(const PlayerLimits& limits) = 0;
};

}  // namespace videoplayer

// The library's exports (looked up by the loader with dlsym).
extern "C" {
// Returns kVideoPlayerInterfaceVersion of the library's own build.
int VideoPlayerInterfaceVersion();
// Makes a control whose widget is a child of `parent` (may be null). Window thread only.
videoplayer::IVideoPlayerControl* CreateVideoPlayerControl(QWidget* parent);
// Ends any play silently, waits for the player's threads and deletes the widget if its parent
// has not already. Window thread only.
void DestroyVideoPlayerControl(videoplayer::IVideoPlayerControl* control);
}
