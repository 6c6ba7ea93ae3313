#include "client/video/codec/video_en_decoder_webm.h"

#include <vpx/vp8cx.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>
#include <vpx/vpx_encoder.h>

#include <cstring>

#include "client/video/codec/color_convert.h"
#include "runtime/logmaker/log.h"

struct WebMCodecState {
  ~WebMCodecState() {
    if (image != nullptr) vpx_img_free(image);
    if (encoder_open) vpx_codec_destroy(&encoder);
    if (decoder_open) vpx_codec_destroy(&decoder);
  }

  uint16_t fps = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  vpx_codec_enc_cfg_t config{};
  vpx_codec_ctx_t encoder{};
  vpx_codec_ctx_t decoder{};
  bool encoder_open = false;
  bool decoder_open = false;
  // The encoder's picture, allocated once per opening.
  vpx_image_t* image = nullptr;
  // Milliseconds; the time base is 1/1000 so every frame rate keeps a
  // non-zero duration.
  vpx_codec_pts_t pts = 0;
  unsigned long duration = 1;
  bool awaiting_key_frame = true;
};

VideoEnDecoder_WebM::VideoEnDecoder_WebM(VEDWatcher* watcher, std::wstring id, bool encode)
    : VideoEnDecoder(watcher, std::move(id), encode) {}

VideoEnDecoder_WebM::~VideoEnDecoder_WebM() { Shutdown(); }

unsigned VideoEnDecoder_WebM::TargetBitrate(unsigned width, unsigned height) {
  return 256u * width * height / (320u * 240u);
}

bool VideoEnDecoder_WebM::Open(uint16_t fps, uint16_t width, uint16_t height) {
  if (state_) return true;
  if (width < 2 || height < 2 || (width & 1) != 0 || (height & 1) != 0) return false;
  auto state = std::make_unique<WebMCodecState>();
  state->fps = fps;
  state->width = width;
  state->height = height;
  if (encode()) {
    if (vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &state->config, 0) != VPX_CODEC_OK)
      return false;
    state->config.g_w = width;
    state->config.g_h = height;
    state->config.rc_target_bitrate = TargetBitrate(width, height);
    state->config.g_timebase.num = 1;
    state->config.g_timebase.den = 1000;
    state->duration = 1000 / fps == 0 ? 1 : 1000 / fps;
    if (vpx_codec_enc_init(&state->encoder, vpx_codec_vp8_cx(), &state->config, 0) !=
        VPX_CODEC_OK) {
      LogWarnA("%s:%d:%s\n", "VideoEnDecoder_WebM::Open", __LINE__,
               vpx_codec_error(&state->encoder));
      return false;
    }
    state->encoder_open = true;
    state->image = vpx_img_alloc(nullptr, VPX_IMG_FMT_YV12, width, height, 1);
    if (state->image == nullptr) return false;
  } else {
    if (vpx_codec_dec_init(&state->decoder, vpx_codec_vp8_dx(), nullptr, 0) != VPX_CODEC_OK) {
      LogWarnA("%s:%d:%s\n", "VideoEnDecoder_WebM::Open", __LINE__,
               vpx_codec_error(&state->decoder));
      return false;
    }
    state->decoder_open = true;
  }
  state_ = std::move(state);
  return true;
}

void VideoEnDecoder_WebM::Close() { state_.reset(); }

bool VideoEnDecoder_WebM::Encode(const uint8_t* input, uint32_t input_size, bool key_frame,
                                 uint8_t* output, uint32_t* output_size, uint32_t capacity) {
  *output_size = 0;
  if (!state_ || !state_->encoder_open) return false;
  WebMCodecState& s = *state_;
  if (input_size < uint32_t{s.width} * s.height * 3) return false;
  vpx_image_t* img = s.image;
  ombrix::video::BgrBottomUpToYuv420(
      input, s.width, s.height,
      {img->planes[VPX_PLANE_Y], img->planes[VPX_PLANE_U], img->planes[VPX_PLANE_V],
       img->stride[VPX_PLANE_Y], img->stride[VPX_PLANE_U], img->stride[VPX_PLANE_V]});
  const vpx_enc_frame_flags_t flags = key_frame ? VPX_EFLAG_FORCE_KF : 0;
  if (vpx_codec_encode(&s.encoder, img, s.pts, s.duration, flags, VPX_DL_REALTIME) !=
      VPX_CODEC_OK) {
    LogWarnA("%s:%d:%s\n", "VideoEnDecoder_WebM::Encode", __LINE__, vpx_codec_error(&s.encoder));
    return false;
  }
  s.pts += static_cast<vpx_codec_pts_t>(s.duration);
  vpx_codec_iter_t iter = nullptr;
  const vpx_codec_cx_pkt_t* packet;
  bool have_frame = false;
  while ((packet = vpx_codec_get_cx_data(&s.encoder, &iter)) != nullptr) {
    if (packet->kind != VPX_CODEC_CX_FRAME_PKT || have_frame) continue;
    have_frame = true;
    if (packet->data.frame.sz > capacity) return false;
    std::memcpy(output, packet->data.frame.buf, packet->data.frame.sz);
    *output_size = static_cast<uint32_t>(packet->data.frame.sz);
  }
  // No frame packet: the encoder dropped the frame; nothing to send.
  return true;
}

bool VideoEnDecoder_WebM::IsKeyFrame(const uint8_t* input, uint32_t input_size) const {
  // Reads the frame's header only; no decoder state is involved.
  vpx_codec_stream_info_t info{};
  info.sz = sizeof(info);
  return input != nullptr && input_size != 0 &&
         vpx_codec_peek_stream_info(vpx_codec_vp8_dx(), input, input_size, &info) == VPX_CODEC_OK &&
         info.is_kf != 0;
}

bool VideoEnDecoder_WebM::Decode(const uint8_t* input, uint32_t input_size, uint8_t* output,
                                 uint32_t* output_size, uint32_t capacity) {
  *output_size = 0;
  if (!state_ || !state_->decoder_open || input_size == 0) return false;
  WebMCodecState& s = *state_;
  // A key frame names its own size, and the decoder sizes its pictures by
  // it: one that disagrees with the declared size is skipped before it can
  // make the decoder allocate for a size nobody checked.
  vpx_codec_stream_info_t info{};
  info.sz = sizeof(info);
  const bool parsed =
      vpx_codec_peek_stream_info(vpx_codec_vp8_dx(), input, input_size, &info) == VPX_CODEC_OK;
  if (parsed && info.is_kf && (info.w != s.width || info.h != s.height)) {
    s.awaiting_key_frame = true;
    return true;
  }
  if (s.awaiting_key_frame && !(parsed && info.is_kf)) return true;
  if (vpx_codec_decode(&s.decoder, input, input_size, nullptr, 0) != VPX_CODEC_OK) {
    // The references are suspect from here on; only a key frame helps.
    s.awaiting_key_frame = true;
    return false;
  }
  s.awaiting_key_frame = false;
  const uint32_t frame_bytes = uint32_t{s.width} * s.height * 3;
  vpx_codec_iter_t iter = nullptr;
  vpx_image_t* img;
  while ((img = vpx_codec_get_frame(&s.decoder, &iter)) != nullptr) {
    if (*output_size != 0) continue;
    if (img->d_w != s.width || img->d_h != s.height) continue;
    if (img->fmt != VPX_IMG_FMT_I420 && img->fmt != VPX_IMG_FMT_YV12) continue;
    if (output == nullptr) {
      *output_size = frame_bytes;  // decoded; the picture is not wanted
      continue;
    }
    if (frame_bytes > capacity) continue;
    ombrix::video::Yuv420ToBgrBottomUp(
        {img->planes[VPX_PLANE_Y], img->planes[VPX_PLANE_U], img->planes[VPX_PLANE_V],
         img->stride[VPX_PLANE_Y], img->stride[VPX_PLANE_U], img->stride[VPX_PLANE_V]},
        s.width, s.height, output);
    *output_size = frame_bytes;
  }
  return true;
}
