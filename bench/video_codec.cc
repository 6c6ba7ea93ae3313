// The codec worker against libvpx driven directly, per frame, at 320x240,
// 640x480 and 1280x720, with the colour conversion measured apart and the
// command-line tools (vpxenc --rt, vpxdec) on the same frames.
//
// Worker: one frame pushed, its output awaited, so each figure is the
// whole hand-off (queue, wake, convert, codec, copy). Direct: the same
// encoder settings and the same conversions in one thread; "libvpx alone"
// leaves the conversions out. Tools: wall time of the process over all frames (process
// start and file I/O included), divided by the frame count.
//
// With --one-core the whole process (worker threads included) runs on the
// CPU it started on, the setting the 30 fps target is stated for; without
// it the worker's hand-offs also pay for waking a thread on another CPU,
// which on a loaded machine can cost more than the conversions.
//
//   video_codec [frames] [--one-core]

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vpx/vp8cx.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>
#include <vpx/vpx_encoder.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "client/video/codec/color_convert.h"
#include "client/video/codec/video_en_decoder.h"
#include "client/video/codec/video_en_decoder_webm.h"

namespace {

using Clock = std::chrono::steady_clock;
using ombrix::video::BgrBottomUpToYuv420;
using ombrix::video::Yuv420ToBgrBottomUp;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Stats {
  double mean = 0, p95 = 0;
};

// The first frame (codec set-up, key frame) is left out: steady state.
Stats Summarise(std::vector<double> v) {
  Stats s;
  if (v.size() < 2) return s;
  v.erase(v.begin());
  for (double x : v) s.mean += x;
  s.mean /= static_cast<double>(v.size());
  std::sort(v.begin(), v.end());
  s.p95 = bench::Percentile(v, 95);
  return s;
}

// A moving colour pattern: bars that slide a few pixels a frame over a
// gradient, so inter frames have real motion to code.
std::vector<uint8_t> MakeFrame(int w, int h, int n) {
  std::vector<uint8_t> f(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &f[(static_cast<size_t>(y) * w + x) * 3];
      const int bar = ((x + 4 * n) / 40) % 6;
      p[0] = static_cast<uint8_t>(bar & 1 ? 230 : (x * 255) / w);
      p[1] = static_cast<uint8_t>(bar & 2 ? 220 : (y * 255) / h);
      p[2] = static_cast<uint8_t>(bar & 4 ? 240 : ((x + y + n) & 0xff));
    }
  return f;
}

class Waiter : public VideoEnDecoder::VEDWatcher {
 public:
  // With a codec set, each output is taken as it comes, as a session
  // does (its queue holds only a few): freed, or kept for kept().
  void set_drain(VideoEnDecoder* codec) { drain_ = codec; }
  void set_keep(VideoEnDecoder* codec) {
    drain_ = codec;
    keep_ = true;
  }
  void OnVideoOutput(const std::wstring&) override {
    std::deque<std::unique_ptr<CodecFrame>> out;
    if (drain_ != nullptr) drain_->TakeOutput(&out);
    std::lock_guard<std::mutex> lock(mutex_);
    if (keep_) {
      for (auto& f : out) kept_.push_back(std::move(f));
    }
    ++ready_;
    cv_.notify_all();
  }
  std::deque<std::unique_ptr<CodecFrame>> kept() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(kept_);
  }
  void WaitFor(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return ready_ >= count; });
  }

 private:
  VideoEnDecoder* drain_ = nullptr;
  bool keep_ = false;
  std::deque<std::unique_ptr<CodecFrame>> kept_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int ready_ = 0;
};

struct Run {
  Stats encode, decode;
  size_t bytes = 0;
  // Worker only: each frame pushed as soon as the worker took the one
  // before (the most its queues take without dropping), total time per
  // frame.
  double encode_pipelined = 0, decode_pipelined = 0;
};

Run WorkerRun(const std::vector<std::vector<uint8_t>>& frames, int w, int h) {
  Run run;
  Waiter enc_wait, dec_wait;
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &enc_wait, L"bench", true);
  auto decoder = NewVideoEnDecoder(kCodecTypeWebM, &dec_wait, L"bench", false);
  std::vector<double> enc_ms, dec_ms;
  int n = 0;
  for (const auto& f : frames) {
    ++n;
    auto t0 = Clock::now();
    encoder->PushFrame(0, 30, w, h, f.data(), static_cast<uint32_t>(f.size()));
    enc_wait.WaitFor(n);
    enc_ms.push_back(Ms(Clock::now() - t0));
    std::deque<std::unique_ptr<CodecFrame>> out;
    encoder->TakeOutput(&out);
    const CodecFrame& e = *out.front();
    run.bytes += e.size;
    t0 = Clock::now();
    decoder->PushFrame(e.flag, e.fps, e.width, e.height, e.bytes.get(), e.size);
    dec_wait.WaitFor(n);
    dec_ms.push_back(Ms(Clock::now() - t0));
    std::deque<std::unique_ptr<CodecFrame>> decoded;
    decoder->TakeOutput(&decoded);
  }
  run.encode = Summarise(enc_ms);
  run.decode = Summarise(dec_ms);

  // Pipelined, as a session runs: the game pushes while the worker codes.
  // A frame pushed while another still waits would push it out (or, when
  // decoding, cost its picture), so each waits for the queue to empty.
  auto when_taken = [](VideoEnDecoder& codec) {
    while (codec.queued_frames() != 0) std::this_thread::yield();
  };
  Waiter enc2_wait, dec2_wait;
  auto encoder2 = NewVideoEnDecoder(kCodecTypeWebM, &enc2_wait, L"bench", true);
  auto decoder2 = NewVideoEnDecoder(kCodecTypeWebM, &dec2_wait, L"bench", false);
  enc2_wait.set_keep(encoder2.get());
  const int n_frames = static_cast<int>(frames.size());
  auto t0 = Clock::now();
  for (const auto& f : frames) {
    when_taken(*encoder2);
    encoder2->PushFrame(0, 30, w, h, f.data(), static_cast<uint32_t>(f.size()));
  }
  enc2_wait.WaitFor(n_frames);
  run.encode_pipelined = Ms(Clock::now() - t0) / n_frames;
  std::deque<std::unique_ptr<CodecFrame>> encoded = enc2_wait.kept();
  dec2_wait.set_drain(decoder2.get());
  t0 = Clock::now();
  for (const auto& e : encoded) {
    when_taken(*decoder2);
    decoder2->PushFrame(e->flag, e->fps, e->width, e->height, e->bytes.get(), e->size);
  }
  dec2_wait.WaitFor(static_cast<int>(encoded.size()));
  run.decode_pipelined = Ms(Clock::now() - t0) / static_cast<double>(encoded.size());
  return run;
}

// Direct: the same settings, one thread, no queues. With `convert` the
// direct program also converts BGR to I420 and back, as any program fed
// with the games' frames must.
Run DirectRun(const std::vector<std::vector<uint8_t>>& frames,
              const std::vector<std::vector<uint8_t>>& i420, int w, int h, bool convert) {
  Run run;
  vpx_codec_enc_cfg_t cfg;
  vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &cfg, 0);
  cfg.g_w = w;
  cfg.g_h = h;
  cfg.rc_target_bitrate = VideoEnDecoder_WebM::TargetBitrate(w, h);
  cfg.g_timebase = {1, 1000};
  vpx_codec_ctx_t enc, dec;
  vpx_codec_enc_init(&enc, vpx_codec_vp8_cx(), &cfg, 0);
  vpx_codec_dec_init(&dec, vpx_codec_vp8_dx(), nullptr, 0);
  vpx_image_t img;
  std::vector<double> enc_ms, dec_ms;
  vpx_codec_pts_t pts = 0;
  std::vector<uint8_t> scratch(static_cast<size_t>(w) * h * 3 / 2),
      bgr(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < i420.size(); ++i) {
    auto t0 = Clock::now();
    if (convert) {
      uint8_t* y = scratch.data();
      BgrBottomUpToYuv420(frames[i].data(), w, h,
                          {y, y + w * h, y + w * h * 5 / 4, w, w / 2, w / 2});
      vpx_img_wrap(&img, VPX_IMG_FMT_I420, w, h, 1, scratch.data());
    } else {
      vpx_img_wrap(&img, VPX_IMG_FMT_I420, w, h, 1, const_cast<uint8_t*>(i420[i].data()));
    }
    vpx_codec_encode(&enc, &img, pts, 33, 0, VPX_DL_REALTIME);
    pts += 33;
    vpx_codec_iter_t it = nullptr;
    const vpx_codec_cx_pkt_t* pkt;
    std::vector<uint8_t> packet;
    while ((pkt = vpx_codec_get_cx_data(&enc, &it)) != nullptr) {
      if (pkt->kind == VPX_CODEC_CX_FRAME_PKT && packet.empty()) {
        const auto* b = static_cast<const uint8_t*>(pkt->data.frame.buf);
        packet.assign(b, b + pkt->data.frame.sz);
      }
    }
    enc_ms.push_back(Ms(Clock::now() - t0));
    run.bytes += packet.size();
    t0 = Clock::now();
    vpx_codec_decode(&dec, packet.data(), static_cast<unsigned>(packet.size()), nullptr, 0);
    it = nullptr;
    while (vpx_image_t* out = vpx_codec_get_frame(&dec, &it)) {
      if (convert) {
        Yuv420ToBgrBottomUp({out->planes[0], out->planes[1], out->planes[2], out->stride[0],
                             out->stride[1], out->stride[2]},
                            w, h, bgr.data());
      }
    }
    dec_ms.push_back(Ms(Clock::now() - t0));
  }
  vpx_codec_destroy(&enc);
  vpx_codec_destroy(&dec);
  run.encode = Summarise(enc_ms);
  run.decode = Summarise(dec_ms);
  return run;
}

// Wall time of a shell command, or a negative value when it failed.
double TimeCommand(const std::string& command) {
  auto t0 = Clock::now();
  const int rc = std::system(command.c_str());
  if (rc != 0) return -1;
  return Ms(Clock::now() - t0);
}

}  // namespace

int main(int argc, char** argv) {
  int count = 90;
  bool one_core = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--one-core") == 0) {
      one_core = true;
    } else {
      count = std::max(2, std::atoi(argv[i]));
    }
  }
  if (one_core) {
    // Threads made later inherit the mask.
    const int cpu = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu < 0 ? 0 : cpu, &set);
    if (cpu < 0 || sched_setaffinity(0, sizeof(set), &set) != 0) {
      std::perror("video_codec: --one-core");
      return 1;
    }
    std::printf("on one core (cpu %d)\n", cpu);
  }
  const int sizes[][2] = {{320, 240}, {640, 480}, {1280, 720}};
  const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                          "/video_codec_bench." + std::to_string(getpid());
  std::system(("mkdir -p " + dir).c_str());
  std::printf(
      "video codec, %d frames per size, ms per frame (mean/p95); limit: worker >= 0.9x of direct,\n"
      "1280x720 encode+decode within 33.3 ms (30 fps on one core)\n",
      count);
  for (const auto& s : sizes) {
    const int w = s[0], h = s[1];
    std::vector<std::vector<uint8_t>> frames, i420;
    for (int n = 0; n < count; ++n) frames.push_back(MakeFrame(w, h, n));

    // The conversions alone.
    std::vector<double> to_yuv, to_bgr;
    std::vector<uint8_t> back(static_cast<size_t>(w) * h * 3);
    for (const auto& f : frames) {
      std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3 / 2);
      uint8_t* y = p.data();
      uint8_t* u = y + w * h;
      uint8_t* v = u + w * h / 4;
      auto t0 = Clock::now();
      BgrBottomUpToYuv420(f.data(), w, h, {y, u, v, w, w / 2, w / 2});
      to_yuv.push_back(Ms(Clock::now() - t0));
      t0 = Clock::now();
      Yuv420ToBgrBottomUp({y, u, v, w, w / 2, w / 2}, w, h, back.data());
      to_bgr.push_back(Ms(Clock::now() - t0));
      i420.push_back(std::move(p));
    }
    const Stats cy = Summarise(to_yuv), cb = Summarise(to_bgr);

    const Run worker = WorkerRun(frames, w, h);
    const Run direct = DirectRun(frames, i420, w, h, true);
    const Run codec = DirectRun(frames, i420, w, h, false);

    // The tools on the same pictures.
    const std::string yuv = dir + "/in.yuv", ivf = dir + "/out.ivf";
    if (FILE* fp = std::fopen(yuv.c_str(), "wb")) {
      for (const auto& p : i420) std::fwrite(p.data(), 1, p.size(), fp);
      std::fclose(fp);
    }
    char cmd[1024];
    std::snprintf(
        cmd, sizeof(cmd),
        "vpxenc --codec=vp8 --rt --passes=1 --i420 -w %d -h %d --fps=30/1 --timebase=1/1000 "
        "--target-bitrate=%u --limit=%d -q -o %s %s >/dev/null 2>&1",
        w, h, VideoEnDecoder_WebM::TargetBitrate(w, h), count, ivf.c_str(), yuv.c_str());
    const double tool_enc = TimeCommand(cmd);
    std::snprintf(cmd, sizeof(cmd), "vpxdec --i420 -o /dev/null %s >/dev/null 2>&1", ivf.c_str());
    const double tool_dec = TimeCommand(cmd);

    std::printf("\n%dx%d (target %u kbit/s)\n", w, h, VideoEnDecoder_WebM::TargetBitrate(w, h));
    std::printf("  bgr->yuv %.3f/%.3f   yuv->bgr %.3f/%.3f\n", cy.mean, cy.p95, cb.mean, cb.p95);
    // One line per direction: the worker, the worker pipelined, the codec
    // called directly, and the command-line tool.
    auto print_direction = [&](const char* name, const Stats& w_stats, double pipelined,
                               const Stats& d_stats, const char* tool, double tool_ms) {
      std::printf("  %s  worker %.3f/%.3f (pipelined %.3f)  direct %.3f/%.3f  ", name, w_stats.mean,
                  w_stats.p95, pipelined, d_stats.mean, d_stats.p95);
      std::printf("ratio %.2fx (pipelined %.2fx)  %s %.3f\n", d_stats.mean / w_stats.mean,
                  d_stats.mean / pipelined, tool, tool_ms < 0 ? -1.0 : tool_ms / count);
    };
    print_direction("encode", worker.encode, worker.encode_pipelined, direct.encode, "vpxenc --rt",
                    tool_enc);
    print_direction("decode", worker.decode, worker.decode_pipelined, direct.decode, "vpxdec",
                    tool_dec);
    std::printf(
        "  libvpx alone (no conversion): encode %.3f/%.3f  decode %.3f/%.3f; "
        "conversion share of the worker: encode %.0f%%  decode %.0f%%\n",
        codec.encode.mean, codec.encode.p95, codec.decode.mean, codec.decode.p95,
        100 * cy.mean / worker.encode.mean, 100 * cb.mean / worker.decode.mean);
    std::printf("  bytes per frame  worker %zu  direct %zu\n", worker.bytes / count,
                direct.bytes / count);
  }
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
