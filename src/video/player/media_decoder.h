#pragma once

// Demuxes and decodes a clip read through a byte source: the video frames come out one at a
// time with their presentation time, converted to 32-bit RGB on request; the audio is decoded
// and dropped (the player is muted). No network, no clock and no widget here, so the same code
// serves the player, the tests and the fuzzer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVIOContext;
struct SwsContext;

namespace videoplayer {

// Where the demuxer's bytes come from. Read returns the bytes copied (> 0), 0 or a negative
// AVERROR code (AVERROR_EOF at the end); Seek follows the avio seek convention (AVSEEK_SIZE
// asks for the size, -1 when unknown).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int Read(uint8_t* buffer, int size) = 0;
  virtual int64_t Seek(int64_t offset, int whence) = 0;
};

// A whole clip in memory.
class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  int Read(uint8_t* buffer, int size) override;
  int64_t Seek(int64_t offset, int whence) override;

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

struct VideoFrameInfo {
  double pts = 0;  // seconds from the stream's start
  int width = 0;
  int height = 0;
};

// Decoders for H.264 video and AAC audio are both present.
bool DecodersPresent();
// libavcodec's major << 16 | minor.
long DecoderVersion();

class MediaDecoder {
 public:
  enum class Next { Frame, End, Error };

  MediaDecoder();
  ~MediaDecoder();
  MediaDecoder(const MediaDecoder&) = delete;
  MediaDecoder& operator=(const MediaDecoder&) = delete;

  // Probes the stream and opens its decoders. On failure `reason` is one of "not media",
  // "no video", "no decoder" or "interrupted". `interrupt` is polled while blocking calls run.
  bool Open(ByteSource* source, std::string* reason, std::function<bool()> interrupt = {});

  // Decodes up to the next video frame.
  Next NextFrame(VideoFrameInfo* info);

  // The last frame as 32-bit RGB (0xffRRGGBB words), `width` * 4 bytes a line.
  bool Convert(std::vector<uint8_t>* rgb, int* width, int* height);

  std::string VideoCodec() const { return m_videoCodec; }
  std::string AudioCodec() const { return m_audioCodec; }
  // Bytes per second of the whole stream as the container declares it; 0 when unknown.
  double ByteRate() const;
  // Nominal time between frames, seconds (1/25 when the stream does not say).
  double FrameInterval() const { return m_frameInterval; }
  // Stream duration in seconds; 0 when unknown.
  double Duration() const;

 private:
  bool OpenDecoder(int stream, AVCodecContext** context);
  void DropAudio(AVPacket* packet);
  bool ReceiveVideo(VideoFrameInfo* info);

  std::function<bool()> m_interrupt;
  ByteSource* m_source = nullptr;
  AVIOContext* m_io = nullptr;
  AVFormatContext* m_format = nullptr;
  AVCodecContext* m_video = nullptr;
  AVCodecContext* m_audio = nullptr;
  AVFrame* m_frame = nullptr;
  AVFrame* m_audioFrame = nullptr;
  AVPacket* m_packet = nullptr;
  SwsContext* m_sws = nullptr;
  int m_videoStream = -1;
  int m_audioStream = -1;
  bool m_draining = false;
  bool m_haveFrame = false;
  double m_frameInterval = 0.04;
  double m_lastPts = -1;
  std::string m_videoCodec;
  std::string m_audioCodec;
};

}  // namespace videoplayer
