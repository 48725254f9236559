#include "video/player/media_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace videoplayer {
namespace {

constexpr int kIoBufferSize = 64 * 1024;
// Enough to recognise any container we play; a page of HTML or noise is given up on quickly.
constexpr int64_t kProbeBytes = 1 << 20;
constexpr int64_t kAnalyzeMicroseconds = 500 * 1000;
// A picture larger than this is not a clip we measure; refuse it before allocating for it.
constexpr int kMaxPixels = 4096 * 4096;

int ReadPacket(void* opaque, uint8_t* buffer, int size) {
  int n = static_cast<ByteSource*>(opaque)->Read(buffer, size);
  return n == 0 ? AVERROR_EOF : n;
}

int64_t SeekStream(void* opaque, int64_t offset, int whence) {
  return static_cast<ByteSource*>(opaque)->Seek(offset, whence);
}

int Interrupted(void* opaque) {
  auto* f = static_cast<std::function<bool()>*>(opaque);
  return (*f && (*f)()) ? 1 : 0;
}

}  // namespace

int MemorySource::Read(uint8_t* buffer, int size) {
  if (m_pos >= m_size) return AVERROR_EOF;
  const size_t n = std::min(m_size - m_pos, static_cast<size_t>(std::max(size, 0)));
  std::memcpy(buffer, m_data + m_pos, n);
  m_pos += n;
  return static_cast<int>(n);
}

int64_t MemorySource::Seek(int64_t offset, int whence) {
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return static_cast<int64_t>(m_size);
  int64_t target = offset;
  if (whence == SEEK_CUR) target = static_cast<int64_t>(m_pos) + offset;
  if (whence == SEEK_END) target = static_cast<int64_t>(m_size) + offset;
  if (target < 0 || target > static_cast<int64_t>(m_size)) return AVERROR(EINVAL);
  m_pos = static_cast<size_t>(target);
  return target;
}

bool DecodersPresent() {
  return avcodec_find_decoder(AV_CODEC_ID_H264) && avcodec_find_decoder(AV_CODEC_ID_AAC);
}

long DecoderVersion() {
  const unsigned v = avcodec_version();
  return static_cast<long>(((v >> 16) << 16) | ((v >> 8) & 0xff));
}

MediaDecoder::MediaDecoder() = default;

MediaDecoder::~MediaDecoder() {
  sws_freeContext(m_sws);
  av_packet_free(&m_packet);
  av_frame_free(&m_frame);
  av_frame_free(&m_audioFrame);
  avcodec_free_context(&m_video);
  avcodec_free_context(&m_audio);
  avformat_close_input(&m_format);
  if (m_io) {
    av_freep(&m_io->buffer);
    avio_context_free(&m_io);
  }
}

bool MediaDecoder::Open(ByteSource* source, std::string* reason, std::function<bool()> interrupt) {
  m_source = source;
  m_interrupt = std::move(interrupt);
  auto fail = [&](const char* why) {
    if (reason) *reason = (m_interrupt && m_interrupt()) ? "interrupted" : why;
    return false;
  };
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) return fail("not media");
  m_io = avio_alloc_context(buffer, kIoBufferSize, 0, source, ReadPacket, nullptr, SeekStream);
  if (!m_io) {
    av_free(buffer);
    return fail("not media");
  }
  m_format = avformat_alloc_context();
  if (!m_format) return fail("not media");
  m_format->pb = m_io;
  m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
  m_format->probesize = kProbeBytes;
  m_format->max_analyze_duration = kAnalyzeMicroseconds;
  m_format->interrupt_callback.callback = Interrupted;
  m_format->interrupt_callback.opaque = &m_interrupt;
  if (avformat_open_input(&m_format, nullptr, nullptr, nullptr) < 0) {
    // avformat_open_input frees the context on failure; the custom I/O stays ours.
    m_format = nullptr;
    return fail("not media");
  }
  {
    // The probing decoders run on this thread too: no decoder threads per stream to start and
    // stop for a look at a few packets.
    std::vector<AVDictionary*> options(m_format->nb_streams, nullptr);
    for (auto& o : options) av_dict_set(&o, "threads", "1", 0);
    const int found =
        avformat_find_stream_info(m_format, options.empty() ? nullptr : options.data());
    for (auto& o : options) av_dict_free(&o);
    if (found < 0) return fail("not media");
  }

  m_videoStream = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (m_videoStream < 0)
    return fail(m_videoStream == AVERROR_DECODER_NOT_FOUND ? "no decoder" : "no video");
  const AVCodecParameters* vp = m_format->streams[m_videoStream]->codecpar;
  if (vp->width <= 0 || vp->height <= 0 ||
      static_cast<int64_t>(vp->width) * vp->height > kMaxPixels)
    return fail("no video");
  if (!OpenDecoder(m_videoStream, &m_video)) return fail("no decoder");
  m_videoCodec = avcodec_get_name(vp->codec_id);

  m_audioStream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, m_videoStream, nullptr, 0);
  if (m_audioStream >= 0) {
    m_audioCodec = avcodec_get_name(m_format->streams[m_audioStream]->codecpar->codec_id);
    // A sound track we cannot decode does not stop the picture.
    if (!OpenDecoder(m_audioStream, &m_audio)) m_audioStream = -1;
  }

  AVStream* vs = m_format->streams[m_videoStream];
  AVRational rate = av_guess_frame_rate(m_format, vs, nullptr);
  if (rate.num > 0 && rate.den > 0) {
    const double interval = av_q2d(av_inv_q(rate));
    if (interval > 0.001 && interval < 1.0) m_frameInterval = interval;
  }
  m_frame = av_frame_alloc();
  m_audioFrame = av_frame_alloc();
  m_packet = av_packet_alloc();
  return (m_frame && m_audioFrame && m_packet) || fail("not media");
}

bool MediaDecoder::OpenDecoder(int stream, AVCodecContext** context) {
  const AVCodecParameters* par = m_format->streams[stream]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return false;
  *context = avcodec_alloc_context3(codec);
  if (!*context) return false;
  if (avcodec_parameters_to_context(*context, par) < 0) return false;
  // One thread per decoder: the clip is small, and the play's CPU time stays on its thread.
  (*context)->thread_count = 1;
  (*context)->pkt_timebase = m_format->streams[stream]->time_base;
  return avcodec_open2(*context, codec, nullptr) >= 0;
}

double MediaDecoder::ByteRate() const {
  if (!m_format) return 0;
  if (m_format->bit_rate > 0) return static_cast<double>(m_format->bit_rate) / 8.0;
  return 0;
}

double MediaDecoder::Duration() const {
  if (!m_format || m_format->duration == AV_NOPTS_VALUE || m_format->duration <= 0) return 0;
  return static_cast<double>(m_format->duration) / AV_TIME_BASE;
}

void MediaDecoder::DropAudio(AVPacket* packet) {
  if (!m_audio) return;
  if (avcodec_send_packet(m_audio, packet) < 0) return;
  while (avcodec_receive_frame(m_audio, m_audioFrame) >= 0) av_frame_unref(m_audioFrame);
}

bool MediaDecoder::ReceiveVideo(VideoFrameInfo* info) {
  if (avcodec_receive_frame(m_video, m_frame) < 0) return false;
  if (m_frame->width <= 0 || m_frame->height <= 0 ||
      static_cast<int64_t>(m_frame->width) * m_frame->height > kMaxPixels) {
    av_frame_unref(m_frame);
    return false;
  }
  AVStream* vs = m_format->streams[m_videoStream];
  double pts = m_lastPts < 0 ? 0 : m_lastPts + m_frameInterval;
  if (m_frame->best_effort_timestamp != AV_NOPTS_VALUE) {
    int64_t ts = m_frame->best_effort_timestamp;
    if (vs->start_time != AV_NOPTS_VALUE) ts -= vs->start_time;
    pts = static_cast<double>(ts) * av_q2d(vs->time_base);
  }
  m_lastPts = pts;
  m_haveFrame = true;
  info->pts = pts;
  info->width = m_frame->width;
  info->height = m_frame->height;
  return true;
}

MediaDecoder::Next MediaDecoder::NextFrame(VideoFrameInfo* info) {
  if (!m_video) return Next::Error;
  if (m_haveFrame) {
    av_frame_unref(m_frame);
    m_haveFrame = false;
  }
  for (;;) {
    if (ReceiveVideo(info)) return Next::Frame;
    if (m_draining) return Next::End;
    const int r = av_read_frame(m_format, m_packet);
    if (r < 0) {
      if (m_interrupt && m_interrupt()) return Next::Error;
      // The end of the stream (or of what could be read): let the decoder give up what it holds.
      m_draining = true;
      avcodec_send_packet(m_video, nullptr);
      if (r != AVERROR_EOF && m_format->pb && m_format->pb->error < 0 &&
          m_format->pb->error != AVERROR_EOF) {
        if (ReceiveVideo(info)) return Next::Frame;
        return Next::Error;
      }
      continue;
    }
    if (m_packet->stream_index == m_videoStream) {
      // A packet the decoder refuses is skipped: a damaged clip shows what it can.
      avcodec_send_packet(m_video, m_packet);
    } else if (m_packet->stream_index == m_audioStream) {
      DropAudio(m_packet);
    }
    av_packet_unref(m_packet);
  }
}

bool MediaDecoder::Convert(std::vector<uint8_t>* rgb, int* width, int* height) {
  if (!m_haveFrame) return false;
  const int w = m_frame->width, h = m_frame->height;
  m_sws = sws_getCachedContext(m_sws, w, h, static_cast<AVPixelFormat>(m_frame->format), w, h,
                               AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!m_sws) return false;
  rgb->resize(static_cast<size_t>(w) * h * 4);
  uint8_t* planes[4] = {rgb->data(), nullptr, nullptr, nullptr};
  int strides[4] = {w * 4, 0, 0, 0};
  if (sws_scale(m_sws, m_frame->data, m_frame->linesize, 0, h, planes, strides) != h) return false;
  *width = w;
  *height = h;
  return true;
}

}  // namespace videoplayer
