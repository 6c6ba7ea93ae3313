#include <gtest/gtest.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/video/codec/color_convert.h"
#include "client/video/codec/frame_drop_counter.h"
#include "client/video/codec/video_en_decoder.h"
#include "client/video/codec/video_en_decoder_webm.h"
#include "runtime/logmaker/log.h"
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

constexpr Bgr kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0}, kWhite{255, 255, 255},
    kBlack{0, 0, 0}, kYellow{0, 255, 255}, kCyan{255, 255, 0}, kMagenta{255, 0, 255};

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
  return vpx_codec_peek_stream_info(vpx_codec_vp8_dx(), f.bytes.get(), f.size, &info) ==
             VPX_CODEC_OK &&
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

// Feeds a codec no faster than it works, as a game within the encoder's
// means does, and collects what comes out as it comes: nothing is dropped.
class PacedFeed {
 public:
  PacedFeed(VideoEnDecoder& codec, Collector& watcher) : codec_(codec), watcher_(watcher) {}
  // Pushes once the worker took everything pushed before.
  bool Push(uint8_t flag, uint16_t fps, int w, int h, const uint8_t* bytes, size_t size) {
    EXPECT_TRUE(WaitUntil([&] {
      if (codec_.queued_frames() != 0) return false;
      codec_.TakeOutput(&out_);
      return true;
    }));
    return codec_.PushFrame(flag, fps, static_cast<uint16_t>(w), static_cast<uint16_t>(h), bytes,
                            static_cast<uint32_t>(size));
  }
  // Everything produced, once there are `count` frames.
  Frames Take(int count) {
    Frames more = TakeFrames(codec_, watcher_, count - static_cast<int>(out_.size()));
    for (auto& f : more) out_.push_back(std::move(f));
    Frames all;
    all.swap(out_);
    EXPECT_EQ(codec_.dropped_frames(), 0u);
    return all;
  }

 private:
  VideoEnDecoder& codec_;
  Collector& watcher_;
  Frames out_;
};

// Holds the worker inside its first report until Open, so that the test
// can fill the queue behind it. Counts reports; takes nothing.
class GateWatcher : public VideoEnDecoder::VEDWatcher {
 public:
  void OnVideoOutput(const std::wstring&) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++calls_;
    cv_.notify_all();
    // Bounded, so that a failing test cannot hang its worker for good.
    cv_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
  }
  bool WaitForCalls(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return calls_ >= n; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int calls_ = 0;
  bool open_ = false;
};

// The application log's lines that contain `text`, from now on.
class LogLines {
 public:
  explicit LogLines(std::string text) : state_(std::make_shared<State>()) {
    state_->text = std::move(text);
    brx::logmaker::GetAppLogger()->AddWriter(std::make_unique<Tap>(state_));
  }
  size_t count() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lines.size();
  }

 private:
  struct State {
    std::string text;
    std::mutex mutex;
    std::vector<std::string> lines;
  };
  // Owned by the logger until the process ends, so it shares the lines.
  class Tap : public brx::logmaker::ILogWriter {
   public:
    explicit Tap(std::shared_ptr<State> state) : state_(std::move(state)) {}
    void Write(const brx::logmaker::LogRecord& record) override {
      if (record.line.find(state_->text) == std::string::npos) return;
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->lines.push_back(record.line);
    }
    void WriteText(const char*) override {}

   private:
    std::shared_ptr<State> state_;
  };
  std::shared_ptr<State> state_;
};

TEST(ColourConversion, PinsChannelOrderChromaPlanesAndRowOrder) {
  // Hand-computed through the integer formulas.
  struct Case {
    Bgr in;
    uint8_t y, u, v;
    Bgr out;
  } cases[] = {
      {kRed, 82, 90, 240, {14, 16, 239}},   {kGreen, 144, 54, 34, {12, 238, 12}},
      {kBlue, 41, 240, 110, {239, 16, 15}}, {kWhite, 235, 128, 128, {235, 235, 235}},
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
  PacedFeed enc(*encoder, enc_watch), dec(*decoder, dec_watch);
  // A steady stream starts one encoder and one key frame.
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(enc.Push(0, 0, w, h, pattern.bytes.data(), pattern.bytes.size()));
  }
  Frames encoded = enc.Take(8);
  ASSERT_EQ(encoded.size(), 8u);
  for (size_t i = 0; i < encoded.size(); ++i) {
    EXPECT_EQ(encoded[i]->counter, i);
    EXPECT_EQ(encoded[i]->fps, 25) << "frame rate 0 is taken as 25";
    EXPECT_EQ(encoded[i]->flag, i == 0 ? 1 : 0) << i;
    EXPECT_EQ(IsKeyFrame(*encoded[i]), i == 0) << i;
  }

  // The link came up: the next frame starts a stream the peer can join.
  encoder->RequestKeyFrame();
  ASSERT_TRUE(enc.Push(0, 25, w, h, pattern.bytes.data(), pattern.bytes.size()));
  // Above 30 frames a second: re-opened, flagged, still encoding.
  ASSERT_TRUE(enc.Push(0, 60, w, h, pattern.bytes.data(), pattern.bytes.size()));
  ASSERT_TRUE(enc.Push(0, 60, w, h, pattern.bytes.data(), pattern.bytes.size()));
  Frames more = enc.Take(3);
  ASSERT_EQ(more.size(), 3u);
  EXPECT_TRUE(more[0]->flag == 1 && IsKeyFrame(*more[0]));
  EXPECT_TRUE(more[1]->flag == 1 && more[1]->fps == 60 && IsKeyFrame(*more[1]));
  EXPECT_TRUE(more[2]->flag == 0 && !IsKeyFrame(*more[2]));
  EXPECT_FALSE(encoder->failed());
  for (auto& f : more) encoded.push_back(std::move(f));

  for (const auto& f : encoded) {
    ASSERT_TRUE(dec.Push(f->flag, f->fps, f->width, f->height, f->bytes.get(), f->size));
  }
  Frames decoded = dec.Take(static_cast<int>(encoded.size()));
  ASSERT_EQ(decoded.size(), encoded.size());
  for (const auto& f : decoded) {
    ASSERT_EQ(f->size, static_cast<uint32_t>(w * h * 3));
    GameFrame out(w, h);
    std::copy(f->bytes.get(), f->bytes.get() + f->size, out.bytes.begin());
    for (int by = 0; by < 2; ++by)
      for (int bx = 0; bx < 4; ++bx) {
        ExpectNear(out.Get(by * h / 2 + h / 4, bx * w / 4 + w / 8), ConvertedBack(kPattern[by][bx]),
                   24, "block centre");
      }
  }
  EXPECT_FALSE(decoder->failed());
}

TEST(VideoEnDecoder, DecoderSkipsWhatItCannotUseAndRecovers) {
  Collector enc_watch, dec_watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &enc_watch, L"inv-1", true);
  const int w = 160, h = 120;
  GameFrame pattern = TestPattern(w, h);
  PacedFeed enc(*encoder, enc_watch);
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(enc.Push(0, 30, w, h, pattern.bytes.data(), pattern.bytes.size()));
  Frames encoded = enc.Take(3);
  ASSERT_EQ(encoded.size(), 3u);
  const CodecFrame& key = *encoded[0];
  const CodecFrame& inter = *encoded[1];

  auto decoder = NewVideoEnDecoder(kCodecTypeWebM, &dec_watch, L"inv-1", false);
  PacedFeed dec(*decoder, dec_watch);
  // Joining mid-stream, garbage, and a frame whose declared size is not
  // the picture's: each skipped, none fatal.
  EXPECT_TRUE(dec.Push(0, 30, w, h, inter.bytes.get(), inter.size));
  const uint8_t garbage[] = {0x10, 0x02, 0x00, 0x9d, 0x01, 0x2a, 0xff, 0xff, 0xff, 0xff};
  EXPECT_TRUE(dec.Push(1, 30, w, h, garbage, sizeof(garbage)));
  EXPECT_TRUE(dec.Push(1, 30, 2 * w, 2 * h, key.bytes.get(), key.size));
  EXPECT_TRUE(dec.Push(0, 30, w, h, nullptr, 0));
  // A peer's oversized dimensions are refused before anything is sized.
  EXPECT_FALSE(decoder->PushFrame(1, 30, 65534, 65534, key.bytes.get(), key.size));
  EXPECT_FALSE(decoder->PushFrame(1, 30, 0, h, key.bytes.get(), key.size));
  // Then the stream proper: key frame and the frames after it decode.
  for (const auto& f : encoded) EXPECT_TRUE(dec.Push(f->flag, 30, w, h, f->bytes.get(), f->size));
  Frames decoded = dec.Take(3);
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

// The conversions worked out one pixel at a time, the slow obvious way.
uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

void ReferenceToYuv(const GameFrame& in, std::vector<uint8_t>* y, std::vector<uint8_t>* u,
                    std::vector<uint8_t>* v) {
  const int w = in.width, h = in.height;
  y->assign(static_cast<size_t>(w) * h, 0);
  u->assign(static_cast<size_t>(w / 2) * (h / 2), 0);
  v->assign(u->size(), 0);
  for (int i = 0; i < h; ++i)
    for (int x = 0; x < w; ++x) {
      const Bgr c = in.Get(i, x);
      (*y)[static_cast<size_t>(i) * w + x] =
          static_cast<uint8_t>(((66 * c.r + 129 * c.g + 25 * c.b + 128) >> 8) + 16);
    }
  for (int i = 0; i < h; i += 2)
    for (int x = 0; x < w; x += 2) {
      int b = 0, g = 0, r = 0;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const Bgr c = in.Get(i + dy, x + dx);
          b += c.b;
          g += c.g;
          r += c.r;
        }
      b = (b + 2) / 4;
      g = (g + 2) / 4;
      r = (r + 2) / 4;
      const size_t at = static_cast<size_t>(i / 2) * (w / 2) + x / 2;
      (*u)[at] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
      (*v)[at] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
    }
}

Bgr ReferenceToBgr(int y, int u, int v) {
  const int cu = u - 128, cv = v - 128;
  return {ClampByte(y + ((cu * 454) >> 8)), ClampByte(y - ((cu * 88) >> 8) - ((cv * 183) >> 8)),
          ClampByte(y + ((cv * 359) >> 8))};
}

TEST(ColourConversion, MatchesThePixelByPixelFormulasAtAnyWidthAndStride) {
  // Widths around the converters' inner block sizes, odd numbers of
  // chroma samples, and strides with a margin that must stay untouched.
  const int widths[] = {2, 6, 30, 34, 510, 512, 514, 1026, 1282};
  const int heights[] = {2, 4, 6};
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
  };
  constexpr uint8_t kCanary = 0xA5;
  for (int w : widths)
    for (int h : heights) {
      GameFrame in(w, h);
      for (auto& byte : in.bytes) byte = next();
      // Some blocks of one colour, some with extremes, to reach the clamps.
      for (int x = 0; x + 1 < w && x < 8; ++x) in.Set(0, x, x < 4 ? kWhite : kMagenta);
      std::vector<uint8_t> ry, ru, rv;
      ReferenceToYuv(in, &ry, &ru, &rv);

      const int ys = w + 7, us = w / 2 + 3, vs = w / 2 + 5;
      std::vector<uint8_t> yp(static_cast<size_t>(ys) * h, kCanary),
          up(static_cast<size_t>(us) * (h / 2), kCanary),
          vp(static_cast<size_t>(vs) * (h / 2), kCanary);
      ombrix::video::BgrBottomUpToYuv420(in.bytes.data(), w, h,
                                         {yp.data(), up.data(), vp.data(), ys, us, vs});
      int wrong = 0;
      for (int i = 0; i < h; ++i) {
        for (int x = 0; x < w; ++x)
          wrong += yp[static_cast<size_t>(i) * ys + x] != ry[static_cast<size_t>(i) * w + x];
        for (int x = w; x < ys; ++x) wrong += yp[static_cast<size_t>(i) * ys + x] != kCanary;
      }
      for (int i = 0; i < h / 2; ++i) {
        for (int x = 0; x < w / 2; ++x) {
          wrong += up[static_cast<size_t>(i) * us + x] != ru[static_cast<size_t>(i) * (w / 2) + x];
          wrong += vp[static_cast<size_t>(i) * vs + x] != rv[static_cast<size_t>(i) * (w / 2) + x];
        }
        for (int x = w / 2; x < us; ++x) wrong += up[static_cast<size_t>(i) * us + x] != kCanary;
        for (int x = w / 2; x < vs; ++x) wrong += vp[static_cast<size_t>(i) * vs + x] != kCanary;
      }
      EXPECT_EQ(wrong, 0) << "to yuv, " << w << "x" << h;

      // Back, from random planes, which reach every clamp.
      for (auto& byte : yp) byte = next();
      for (auto& byte : up) byte = next();
      for (auto& byte : vp) byte = next();
      std::vector<uint8_t> bytes(in.bytes.size() + 3, kCanary);
      ombrix::video::Yuv420ToBgrBottomUp({yp.data(), up.data(), vp.data(), ys, us, vs}, w, h,
                                         bytes.data());
      GameFrame out(w, h);
      std::copy(bytes.begin(), bytes.end() - 3, out.bytes.begin());
      wrong = 0;
      for (int i = 0; i < h; ++i)
        for (int x = 0; x < w; ++x) {
          const size_t c = static_cast<size_t>(i / 2);
          const Bgr want = ReferenceToBgr(yp[static_cast<size_t>(i) * ys + x], up[c * us + x / 2],
                                          vp[c * vs + x / 2]);
          const Bgr got = out.Get(i, x);
          wrong += got.b != want.b || got.g != want.g || got.r != want.r;
        }
      for (size_t k = in.bytes.size(); k < bytes.size(); ++k) wrong += bytes[k] != kCanary;
      EXPECT_EQ(wrong, 0) << "to bgr, " << w << "x" << h;
    }
}

TEST(ColourConversion, BlockAcrossAnEdgeTakesItsMeanChroma) {
  // Red above blue inside one 2x2 block: both chroma samples describe the
  // block's mean (purple), not one red and one blue pixel, which together
  // would decode to a colour found nowhere in the block.
  GameFrame in(2, 2);
  in.Set(0, 0, kRed);
  in.Set(0, 1, kRed);
  in.Set(1, 0, kBlue);
  in.Set(1, 1, kBlue);
  uint8_t y[4], u[1], v[1];
  ombrix::video::BgrBottomUpToYuv420(in.bytes.data(), 2, 2, {y, u, v, 2, 1, 1});
  EXPECT_EQ(y[0], 82);
  EXPECT_EQ(y[2], 41);
  EXPECT_EQ(u[0], 165);
  EXPECT_EQ(v[0], 175);
  GameFrame out(2, 2);
  ombrix::video::Yuv420ToBgrBottomUp({y, u, v, 2, 1, 1}, 2, 2, out.bytes.data());
  for (int i = 0; i < 2; ++i) {
    const Bgr c = out.Get(i, 0);
    EXPECT_GT(c.r, c.g + 60) << i;
    EXPECT_GT(c.b, c.g + 60) << i;
  }
}

TEST(VideoEnDecoder, StreamChangingSizeKeepsEveryFrameWhole) {
  // Frames grow and shrink, so the worker's reused buffers are sometimes
  // too small and sometimes far too large; each size must come out of the
  // decoder with its own colours, nothing of an earlier frame.
  Collector enc_watch, dec_watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &enc_watch, L"inv-1", true);
  auto decoder = NewVideoEnDecoder(kCodecTypeWebM, &dec_watch, L"inv-1", false);
  ASSERT_TRUE(encoder && decoder);
  const int sizes[][2] = {{320, 240}, {320, 240}, {640, 480}, {640, 480},
                          {160, 120}, {160, 120}, {320, 240}};
  PacedFeed enc(*encoder, enc_watch), dec(*decoder, dec_watch);
  for (const auto& s : sizes) {
    const GameFrame pattern = TestPattern(s[0], s[1]);
    ASSERT_TRUE(enc.Push(0, 30, s[0], s[1], pattern.bytes.data(), pattern.bytes.size()));
  }
  const int n = static_cast<int>(std::size(sizes));
  Frames encoded = enc.Take(n);
  ASSERT_EQ(encoded.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(encoded[i]->width, sizes[i][0]);
    EXPECT_GE(encoded[i]->capacity, encoded[i]->size);
    EXPECT_EQ(encoded[i]->counter, static_cast<uint32_t>(i));
    const bool starts = i == 0 || sizes[i][0] != sizes[i - 1][0];
    EXPECT_EQ(encoded[i]->flag, starts ? 1 : 0) << i;
    EXPECT_EQ(IsKeyFrame(*encoded[i]), starts) << i;
  }
  for (const auto& f : encoded) {
    ASSERT_TRUE(dec.Push(f->flag, f->fps, f->width, f->height, f->bytes.get(), f->size));
  }
  Frames decoded = dec.Take(n);
  ASSERT_EQ(decoded.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int w = sizes[i][0], h = sizes[i][1];
    ASSERT_EQ(decoded[i]->size, static_cast<uint32_t>(w * h * 3)) << i;
    EXPECT_GE(decoded[i]->capacity, decoded[i]->size);
    GameFrame out(w, h);
    std::copy(decoded[i]->bytes.get(), decoded[i]->bytes.get() + decoded[i]->size,
              out.bytes.begin());
    for (int by = 0; by < 2; ++by)
      for (int bx = 0; bx < 4; ++bx) {
        ExpectNear(out.Get(by * h / 2 + h / 4, bx * w / 4 + w / 8), ConvertedBack(kPattern[by][bx]),
                   24, "block centre");
      }
  }
  EXPECT_FALSE(encoder->failed());
  EXPECT_FALSE(decoder->failed());
}

TEST(VideoEnDecoder, EncoderFallingBehindKeepsTheNewestPicturesAndTheStreamStart) {
  LogLines drop_lines("falls behind");
  GateWatcher watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &watch, L"inv-1", true);
  const int w = 160, h = 120;
  const GameFrame pattern = TestPattern(w, h);
  auto push = [&] {
    return encoder->PushFrame(0, 30, w, h, pattern.bytes.data(), pattern.bytes.size());
  };
  ASSERT_TRUE(push());
  ASSERT_TRUE(watch.WaitForCalls(1));  // the worker is held with frame 0 done

  // The game goes on at its pace: the queue keeps the newest pictures,
  // and the new stream the link asked for starts with the first of them.
  encoder->RequestKeyFrame();
  for (int i = 1; i <= 10; ++i) ASSERT_TRUE(push()) << i;
  const size_t bound = VideoEnDecoder::kMaxQueuedRawFrames;
  EXPECT_EQ(encoder->queued_frames(), bound);
  EXPECT_EQ(encoder->peak_queued_frames(), bound);
  EXPECT_EQ(encoder->dropped_frames(), 10 - bound);
  EXPECT_EQ(encoder->frame_counter(), 11u);
  EXPECT_EQ(drop_lines.count(), 1u) << "one line for the burst";

  watch.Open();
  Frames out;
  ASSERT_TRUE(WaitUntil([&] {
    encoder->TakeOutput(&out);
    return out.size() >= 1 + bound;
  }));
  ASSERT_EQ(out.size(), 1 + bound);
  EXPECT_EQ(out[0]->counter, 0u);
  EXPECT_EQ(out[1]->counter, 11 - bound);
  EXPECT_EQ(out[2]->counter, 10u);
  EXPECT_TRUE(out[1]->flag == 1 && IsKeyFrame(*out[1]))
      << "the dropped frame's key frame passed on";
  EXPECT_TRUE(out[2]->flag == 0 && !IsKeyFrame(*out[2]));
  EXPECT_FALSE(encoder->failed());
}

TEST(VideoEnDecoder, DecoderFallingBehindDropsCodedFramesOnlyUpToTheNextKeyFrame) {
  // A stream one key frame, then one more frame than the decoder's queue
  // holds, then a key frame and one frame after it.
  const int bound = static_cast<int>(VideoEnDecoder::kMaxQueuedCodedFrames);
  const int key = bound + 2, n = bound + 4;
  Collector enc_watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &enc_watch, L"inv-1", true);
  const int w = 160, h = 120;
  const GameFrame pattern = TestPattern(w, h);
  PacedFeed enc(*encoder, enc_watch);
  for (int i = 0; i < n; ++i) {
    if (i == key) encoder->RequestKeyFrame();
    ASSERT_TRUE(enc.Push(0, 30, w, h, pattern.bytes.data(), pattern.bytes.size()));
  }
  const Frames stream = enc.Take(n);
  ASSERT_EQ(stream.size(), static_cast<size_t>(n));
  ASSERT_TRUE(IsKeyFrame(*stream[key]) && !IsKeyFrame(*stream[key - 1]));

  GateWatcher watch;
  auto decoder = NewVideoEnDecoder(kCodecTypeWebM, &watch, L"inv-1", false);
  auto push = [&](int i) {
    const CodecFrame& f = *stream[static_cast<size_t>(i)];
    return decoder->PushFrame(f.flag, f.fps, f.width, f.height, f.bytes.get(), f.size);
  };
  ASSERT_TRUE(push(0));
  ASSERT_TRUE(watch.WaitForCalls(1));  // the worker is held with the key frame decoded
  // The link hands over more than the queue holds: what is queued cannot
  // be decoded without the frame that did not fit, so all of it goes, and
  // so does everything up to the next key frame.
  for (int i = 1; i < key; ++i) ASSERT_TRUE(push(i)) << i;
  EXPECT_EQ(decoder->peak_queued_frames(), static_cast<size_t>(bound));
  EXPECT_EQ(decoder->queued_frames(), 0u);
  EXPECT_EQ(decoder->dropped_frames(), static_cast<uint64_t>(key - 1));
  ASSERT_TRUE(push(key));
  ASSERT_TRUE(push(key + 1));
  EXPECT_EQ(decoder->queued_frames(), 2u);

  // Behind, the decoder takes the key frame's picture for late, but not
  // the key frame: the picture after it is whole, nothing of what was lost.
  watch.Open();
  Frames out;
  ASSERT_TRUE(WaitUntil([&] {
    decoder->TakeOutput(&out);
    return out.size() >= 2 && decoder->queued_frames() == 0;
  }));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1]->counter, static_cast<uint32_t>(key + 1));
  EXPECT_EQ(out[1]->flag, 1)
      << "the new stream the game is told of starts with the first picture it gets";
  EXPECT_EQ(decoder->dropped_frames(), static_cast<uint64_t>(key));
  GameFrame last(w, h);
  std::copy(out[1]->bytes.get(), out[1]->bytes.get() + out[1]->size, last.bytes.begin());
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 4; ++bx) {
      ExpectNear(last.Get(by * h / 2 + h / 4, bx * w / 4 + w / 8), ConvertedBack(kPattern[by][bx]),
                 24, "block");
    }
  EXPECT_FALSE(decoder->failed());
}

TEST(VideoEnDecoder, OutputNobodyTakesStaysBoundedAndStillDecodes) {
  // Nobody takes the coded frames: the oldest go, and the next one is a
  // key frame, so what is left can still be decoded from its start.
  Collector enc_watch, dec_watch;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &enc_watch, L"inv-1", true);
  auto decoder = NewVideoEnDecoder(kCodecTypeWebM, &dec_watch, L"inv-1", false);
  const int w = 160, h = 120;
  const GameFrame pattern = TestPattern(w, h);
  const int n = static_cast<int>(VideoEnDecoder::kMaxQueuedCodedFrames) + 4;
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(WaitUntil([&] { return enc_watch.calls.load() == i; }));
    ASSERT_TRUE(encoder->PushFrame(0, 30, w, h, pattern.bytes.data(), pattern.bytes.size()));
  }
  ASSERT_TRUE(WaitUntil([&] { return enc_watch.calls.load() == n; }));
  Frames coded;
  encoder->TakeOutput(&coded);
  ASSERT_FALSE(coded.empty());
  EXPECT_LE(coded.size(), VideoEnDecoder::kMaxQueuedCodedFrames);
  EXPECT_EQ(encoder->dropped_frames(), n - coded.size());
  EXPECT_TRUE(coded.front()->flag == 1 && IsKeyFrame(*coded.front()));
  EXPECT_EQ(coded.back()->counter, static_cast<uint32_t>(n - 1));

  // Nor the pictures: only the newest stay, each one whole.
  for (size_t i = 0; i < coded.size(); ++i) {
    ASSERT_TRUE(WaitUntil([&] { return dec_watch.calls.load() == static_cast<int>(i); }));
    const CodecFrame& f = *coded[i];
    ASSERT_TRUE(decoder->PushFrame(f.flag, f.fps, f.width, f.height, f.bytes.get(), f.size));
  }
  ASSERT_TRUE(WaitUntil([&] { return dec_watch.calls.load() == static_cast<int>(coded.size()); }));
  Frames pictures;
  decoder->TakeOutput(&pictures);
  ASSERT_EQ(pictures.size(), VideoEnDecoder::kMaxQueuedRawFrames);
  EXPECT_EQ(pictures.back()->counter, coded.size() - 1);
  EXPECT_EQ(decoder->dropped_frames(), coded.size() - pictures.size());
  EXPECT_FALSE(encoder->failed() || decoder->failed());
}

TEST(FrameDropCounter, DropsCloseTogetherAreOneBurst) {
  FrameDropCounter drops;
  EXPECT_FALSE(drops.Count(0, 5));
  EXPECT_TRUE(drops.Count(1, 0xFFFFFF00u));  // near the tick's wrap, which must not matter
  EXPECT_FALSE(drops.Count(3, 0xFFFFFF00u + 400));
  EXPECT_FALSE(drops.Count(1, 0xFFFFFF00u + 400 + FrameDropCounter::kQuietMs));
  EXPECT_TRUE(drops.Count(2, 0xFFFFFF00u + 401 + 2 * FrameDropCounter::kQuietMs));
  EXPECT_EQ(drops.total(), 7u);
  EXPECT_EQ(drops.bursts(), 2u);
}

}  // namespace
