// Clips come from the network. The input is the bytes of one transfer: probed, demuxed, decoded
// and converted for the screen as the player does, with the whole input already arrived.
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "video/player/media_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quiet;
  videoplayer::MemorySource source(data, size);
  videoplayer::MediaDecoder decoder;
  std::string reason;
  if (!decoder.Open(&source, &reason)) return 0;
  videoplayer::VideoFrameInfo info;
  std::vector<uint8_t> rgb;
  // Enough frames to pass a key frame and a few predicted ones; a clip longer than that
  // teaches the fuzzer nothing new per execution.
  for (int i = 0; i < 30 && decoder.NextFrame(&info) == videoplayer::MediaDecoder::Next::Frame;
       ++i) {
    int w = 0, h = 0;
    if (decoder.Convert(&rgb, &w, &h) && (w != info.width || h != info.height ||
                                          rgb.size() != static_cast<size_t>(w) * h * 4))
      __builtin_trap();
  }
  return 0;
}
