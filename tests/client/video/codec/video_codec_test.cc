#include <gtest/gtest.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "client/video/codec/color_convert.h"
#include "client/video/codec/video_en_decoder.h"
#include "client/video/codec/video_en_decoder_webm.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::WaitUntil;
using Frames = std::deque<std::unique_ptr<CodecFrame>>;

struct Bgr {
  uint8_t b, g, r;
};

// A frame in the games' layout: B, G, R, the bottom row stored first.
struct GameFrame {
  GameFrame(int w, int h) : width(w), height(h), bytes(static_cast<size_t>(w) * h * 3) {}
  void Set(int row_from_top, int x, Bgr c) {
    uint8_t* p = &bytes[(static_cast<size_t>(height - 1 - row_from_top) * width + x) * 3];
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
  }
  Bgr Get(int row_from_top, int x) const {
    const uint8_t* p = &bytes[(static_cast<size_t>(height - 1 - row_from_top) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  int width, height;
  std::vector<uint8_t> bytes;
};

constexpr Bgr kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0}, kWhite{255, 255, 255}, kBlack{0, 0, 0},
    kYellow{0, 255, 255}, kCyan{255, 255, 0}, kMagenta{255, 0, 255};

// Eight colour blocks, four across and two down; a red/blue or U/V swap
// moves every saturated block far from where it belongs.
const Bgr kPattern[2][4] = {{kRed, kGreen, kBlue, kWhite}, {kYellow, kCyan, kMagenta, kBlack}};

GameFrame TestPattern(int w, int h) {
  GameFrame f(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f.Set(y, x, kPattern[y * 2 / h][x * 4 / w]);
  return f;
}

// What a block of colour `c` comes back as through the conversions alone.
Bgr ConvertedBack(Bgr c) {
  GameFrame in(2, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) in.Set(y, x, c);
  uint8_t y[4], u[1], v[1];
  ombrix::video::BgrBottomUpToYuv420(in.bytes.data(), 2, 2, {y, u, v, 2, 1, 1});
  GameFrame out(2, 2);
  ombrix::video::Yuv420ToBgrBottomUp({y, u, v, 2, 1, 1}, 2, 2, out.bytes.data());
  return out.Get(0, 0);
}

void ExpectNear(Bgr actual, Bgr expected, int tolerance, const char* where) {
  EXPECT_NEAR(actual.b, expected.b, tolerance) << where;
  EXPECT_NEAR(actual.g, expected.g, tolerance) << where;
  EXPECT_NEAR(actual.r, expected.r, tolerance) << where;
}

bool IsKeyFrame(const CodecFrame& f) {
  vpx_codec_stream_info_t info{};
  info.sz = sizeof(info);
  return vpx_codec_peek_stream_info(vpx_codec_vp8_dx(), f.bytes.get(), f.size, &info) == VPX_CODEC_OK &&
         info.is_kf != 0;
}

class Collector : public VideoEnDecoder::VEDWatcher {
 public:
  void OnVideoOutput(const std::wstring& id) override {
    if (id == L"inv-1") ++calls;
  }
  std::atomic<int> calls{0};
};

// Waits until `codec` has produced `count` more frames and takes them.
Frames TakeFrames(VideoEnDecoder& codec, Collector& watcher, int count) {
  Frames frames;
  const bool done = WaitUntil([&] {
    codec.TakeOutput(&frames);
    return static_cast<int>(frames.size()) >= count;
  });
  EXPECT_TRUE(done) << "got " << frames.size() << " of " << count;
  EXPECT_GE(watcher.calls.load(), count);
  return frames;
}

TEST(ColourConversion, PinsChannelOrderChromaPlanesAndRowOrder) {
  // Hand-computed through the integer formulas.
  struct Case {
    Bgr in;
    uint8_t y, u, v;
    Bgr out;
  } cases[] = {
      {kRed, 82, 90, 240, {14, 16, 239}},     {kGreen, 144, 54, 34, {12, 238, 12}},
      {kBlue, 41, 240, 110, {239, 16, 15}},   {kWhite, 235, 128, 128, {235, 235, 235}},
      {kBlack, 16, 128, 128, {16, 16, 16}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvertedBack(c.in).r, c.out.r);
    GameFrame in(2, 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) in.Set(y, x, c.in);
    uint8_t y[4], u[1], v[1];
    ombrix::video::BgrBottomUpToYuv420(in.bytes.data(), 2, 2, {y, u, v, 2, 1, 1});
    EXPECT_EQ(y[0], c.y);
    EXPECT_EQ(y[3], c.y);
    EXPECT_EQ(u[0], c.u);
    EXPECT_EQ(v[0], c.v);
    ExpectNear(ConvertedBack(c.in), c.out, 0, "round trip");
  }

  // Top half red, bottom half blue, with strides wider than the picture.
  GameFrame in(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) in.Set(y, x, y < 2 ? kRed : kBlue);
  EXPECT_EQ(in.bytes[2], 0) << "the first stored row is the bottom (blue) row";
  uint8_t yp[4 * 8] = {}, up[2 * 5] = {}, vp[2 * 6] = {};
  ombrix::video::BgrBottomUpToYuv420(in.bytes.data(), 4, 4, {yp, up, vp, 8, 5, 6});
  EXPECT_EQ(yp[0], 82);
  EXPECT_EQ(yp[3 * 8 + 3], 41);
  EXPECT_EQ(vp[0], 240);
  EXPECT_EQ(up[5], 240);
  GameFrame out(4, 4);
  ombrix::video::Yuv420ToBgrBottomUp({yp, up, vp, 8, 5, 6}, 4, 4, out.bytes.data());
  ExpectNear(out.Get(0, 3), {14, 16, 239}, 0, "top row red");
  ExpectNear(out.Get(3, 0), {239, 16, 15}, 0, "bottom row blue");
}

TEST(VideoEnDecoder, StreamsOneKeyFrameAndKeepsColours) {
  EXPECT_EQ(VideoEnDecoder_WebM::TargetBitrate(320, 240), 256u);
  EXPECT_EQ(VideoEnDecoder_WebM::TargetBitrate(640, 480), 1024u);
  EXPECT_EQ(VideoEnDecoder_WebM::TargetBitrate(160, 120), 64u);

  Collector enc_watch, dec_watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &enc_watch, L"inv-1", true);
  auto decoder = NewVideoEnDecoder(kCodecTypeWebM, &dec_watch, L"inv-1", false);
  ASSERT_TRUE(encoder && decoder);
  EXPECT_EQ(NewVideoEnDecoder(7, &enc_watch, L"inv-1", true), nullptr);

  const int w = 320, h = 240;
  GameFrame pattern = TestPattern(w, h);
  // Pushed in one go: a steady stream starts one encoder and one key frame.
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(encoder->PushFrame(0, 0, w, h, pattern.bytes.data(), pattern.bytes.size()));
  }
  Frames encoded = TakeFrames(*encoder, enc_watch, 8);
  ASSERT_EQ(encoded.size(), 8u);
  for (size_t i = 0; i < encoded.size(); ++i) {
    EXPECT_EQ(encoded[i]->counter, i);
    EXPECT_EQ(encoded[i]->fps, 25) << "frame rate 0 is taken as 25";
    EXPECT_EQ(encoded[i]->flag, i == 0 ? 1 : 0) << i;
    EXPECT_EQ(IsKeyFrame(*encoded[i]), i == 0) << i;
  }

  // The link came up: the next frame starts a stream the peer can join.
  encoder->RequestKeyFrame();
  ASSERT_TRUE(encoder->PushFrame(0, 25, w, h, pattern.bytes.data(), pattern.bytes.size()));
  // Above 30 frames a second: re-opened, flagged, still encoding.
  ASSERT_TRUE(encoder->PushFrame(0, 60, w, h, pattern.bytes.data(), pattern.bytes.size()));
  ASSERT_TRUE(encoder->PushFrame(0, 60, w, h, pattern.bytes.data(), pattern.bytes.size()));
  Frames more = TakeFrames(*encoder, enc_watch, 3);
  ASSERT_EQ(more.size(), 3u);
  EXPECT_TRUE(more[0]->flag == 1 && IsKeyFrame(*more[0]));
  EXPECT_TRUE(more[1]->flag == 1 && more[1]->fps == 60 && IsKeyFrame(*more[1]));
  EXPECT_TRUE(more[2]->flag == 0 && !IsKeyFrame(*more[2]));
  EXPECT_FALSE(encoder->failed());
  for (auto& f : more) encoded.push_back(std::move(f));

  for (const auto& f : encoded) {
    ASSERT_TRUE(decoder->PushFrame(f->flag, f->fps, f->width, f->height, f->bytes.get(), f->size));
  }
  Frames decoded = TakeFrames(*decoder, dec_watch, static_cast<int>(encoded.size()));
  ASSERT_EQ(decoded.size(), encoded.size());
  for (const auto& f : decoded) {
    ASSERT_EQ(f->size, static_cast<uint32_t>(w * h * 3));
    GameFrame out(w, h);
    std::copy(f->bytes.get(), f->bytes.get() + f->size, out.bytes.begin());
    for (int by = 0; by < 2; ++by)
      for (int bx = 0; bx < 4; ++bx) {
        ExpectNear(out.Get(by * h / 2 + h / 4, bx * w / 4 + w / 8), ConvertedBack(kPattern[by][bx]), 24,
                   "block centre");
      }
  }
  EXPECT_FALSE(decoder->failed());
}

TEST(VideoEnDecoder, DecoderSkipsWhatItCannotUseAndRecovers) {
  Collector enc_watch, dec_watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &enc_watch, L"inv-1", true);
  const int w = 160, h = 120;
  GameFrame pattern = TestPattern(w, h);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(encoder->PushFrame(0, 30, w, h, pattern.bytes.data(), pattern.bytes.size()));
  Frames encoded = TakeFrames(*encoder, enc_watch, 3);
  ASSERT_EQ(encoded.size(), 3u);
  const CodecFrame& key = *encoded[0];
  const CodecFrame& inter = *encoded[1];

  auto decoder = NewVideoEnDecoder(kCodecTypeWebM, &dec_watch, L"inv-1", false);
  // Joining mid-stream, garbage, and a frame whose declared size is not
  // the picture's: each skipped, none fatal.
  EXPECT_TRUE(decoder->PushFrame(0, 30, w, h, inter.bytes.get(), inter.size));
  const uint8_t garbage[] = {0x10, 0x02, 0x00, 0x9d, 0x01, 0x2a, 0xff, 0xff, 0xff, 0xff};
  EXPECT_TRUE(decoder->PushFrame(1, 30, w, h, garbage, sizeof(garbage)));
  EXPECT_TRUE(decoder->PushFrame(1, 30, 2 * w, 2 * h, key.bytes.get(), key.size));
  EXPECT_TRUE(decoder->PushFrame(0, 30, w, h, nullptr, 0));
  // A peer's oversized dimensions are refused before anything is sized.
  EXPECT_FALSE(decoder->PushFrame(1, 30, 65534, 65534, key.bytes.get(), key.size));
  EXPECT_FALSE(decoder->PushFrame(1, 30, 0, h, key.bytes.get(), key.size));
  // Then the stream proper: key frame and the frames after it decode.
  for (const auto& f : encoded) EXPECT_TRUE(decoder->PushFrame(f->flag, 30, w, h, f->bytes.get(), f->size));
  Frames decoded = TakeFrames(*decoder, dec_watch, 3);
  EXPECT_EQ(decoded.size(), 3u);
  EXPECT_EQ(decoded.front()->counter, 4u) << "the skipped frames produced nothing";
  EXPECT_FALSE(decoder->failed());
  EXPECT_EQ(decoder->frame_counter(), 7u);
}

TEST(VideoEnDecoder, EncoderRefusesShortFramesAndStopsOnUnusableSize) {
  Collector watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &watch, L"inv-1", true);
  std::vector<uint8_t> frame(322 * 240 * 3, 128);
  EXPECT_FALSE(encoder->PushFrame(0, 25, 320, 240, frame.data(), 320 * 240 * 3 - 1));
  EXPECT_FALSE(encoder->PushFrame(0, 25, 2048, 2048, frame.data(), frame.size()));
  EXPECT_EQ(encoder->frame_counter(), 0u);
  ASSERT_TRUE(encoder->PushFrame(0, 25, 321, 240, frame.data(), 321 * 240 * 3));
  EXPECT_TRUE(WaitUntil([&] { return encoder->failed(); }));
  EXPECT_FALSE(encoder->PushFrame(0, 25, 320, 240, frame.data(), 320 * 240 * 3));
  EXPECT_EQ(watch.calls.load(), 0);
  encoder->Shutdown();
  encoder->Shutdown();
}

}  // namespace
