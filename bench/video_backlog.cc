// A game that hands the sending side's codec worker 60 pictures a second
// for 30 s, at 1920x1080 (more than VP8 encodes in real time here) and at
// 640x480: the peak resident memory of the process and the age of each
// picture when its encoding is done (from the moment the game handed it
// over), with what was dropped to keep up. Each size runs in a process of
// its own, so that one peak does not hide the other.
//
// The machine's load average is printed with each run: the figures mean
// little without it.
//
//   video_backlog [seconds]

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "client/video/codec/video_en_decoder.h"
#include "tests/support/process_memory.h"

namespace {

using bench::LoadAverage;
using Clock = std::chrono::steady_clock;
constexpr int kFps = 60;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Takes each encoded frame as it comes, as the video chat does, and notes
// how long ago the game handed its picture over.
class AgeWatcher : public VideoEnDecoder::VEDWatcher {
 public:
  explicit AgeWatcher(const std::vector<Clock::time_point>* pushed) : pushed_(pushed) {}
  void set_codec(VideoEnDecoder* codec) { codec_ = codec; }
  void OnVideoOutput(const std::wstring&) override {
    std::deque<std::unique_ptr<CodecFrame>> out;
    codec_->TakeOutput(&out);
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& f : out) {
      // The push of frame n happened before the worker could take it.
      if (f->counter < pushed_->size()) ages_.push_back(Ms(now - (*pushed_)[f->counter]));
    }
  }
  std::vector<double> ages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ages_;
  }

 private:
  const std::vector<Clock::time_point>* pushed_;
  VideoEnDecoder* codec_ = nullptr;
  std::mutex mutex_;
  std::vector<double> ages_;
};

// One run, in this (child) process; prints its line.
int Run(int w, int h, int seconds) {
  const std::string load_before = LoadAverage();
  const size_t frames = static_cast<size_t>(seconds) * kFps;
  std::vector<Clock::time_point> pushed(frames);
  AgeWatcher watcher(&pushed);
  auto encoder = NewVideoEnDecoder(kCodecTypeWebM, &watcher, L"bench", true);
  if (!encoder) {
    std::printf("%dx%d: no encoder\n", w, h);
    return 1;
  }
  watcher.set_codec(encoder.get());

  // A moving picture, so inter frames have something to code.
  std::vector<uint8_t> picture(static_cast<size_t>(w) * h * 3);
  const auto interval = std::chrono::microseconds(1000000 / kFps);
  auto next = Clock::now();
  // Sampled once a second from the second second on, once the codec is
  // open: flat memory keeps these two close.
  size_t rss_min = SIZE_MAX, rss_max = 0;
  for (size_t n = 0; n < frames; ++n) {
    std::this_thread::sleep_until(next);  // the game's own pace
    next += interval;
    for (size_t i = 0; i < picture.size(); i += 4096)
      picture[i] = static_cast<uint8_t>(n + i / 4096);
    pushed[n] = Clock::now();
    encoder->PushFrame(0, kFps, static_cast<uint16_t>(w), static_cast<uint16_t>(h), picture.data(),
                       static_cast<uint32_t>(picture.size()));
    if (n % kFps == 0 && n >= kFps) {
      const size_t rss = ombrix::test::ResidentBytes();
      rss_min = std::min(rss_min, rss);
      rss_max = std::max(rss_max, rss);
    }
  }
  const uint64_t dropped = encoder->dropped_frames();
  const size_t peak_queue = encoder->peak_queued_frames();
  encoder.reset();  // finishes what is queued or drops it, then stops
  std::vector<double> ages = watcher.ages();
  if (ages.empty()) {
    std::printf("%dx%d: nothing was encoded\n", w, h);
    return 1;
  }
  const double first = ages.front();  // the encoder opens with it
  std::sort(ages.begin(), ages.end());
  auto at = [&](size_t pct) { return bench::Percentile(ages, pct); };
  if (rss_max == 0) rss_min = 0;
  std::printf(
      "%4dx%-4d %zu frames in %d s: %zu encoded, %llu dropped (queue at most %zu); "
      "age when encoded p50 %.1f ms, p95 %.1f ms, max %.1f ms (first %.1f ms); resident memory %zu-%zu MB each "
      "second, %zu MB peak; "
      "load average %s before, %s after\n",
      w, h, frames, seconds, ages.size(), static_cast<unsigned long long>(dropped), peak_queue,
      at(50), at(95), ages.back(), first, rss_min >> 20, rss_max >> 20,
      ombrix::test::PeakResidentBytes() >> 20, load_before.c_str(), LoadAverage().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  std::printf(
      "video backlog: a game at %d frames a second for %d s, %ld CPUs "
      "(goal: flat memory, p95 age < 100 ms)\n",
      kFps, seconds, sysconf(_SC_NPROCESSORS_ONLN));
  std::fflush(stdout);
  int failed = 0;
  const int sizes[][2] = {{1920, 1080}, {640, 480}};
  for (const auto& s : sizes) {
    // Forked before any thread exists, so each peak is its own.
    const pid_t child = fork();
    if (child == 0) {
      const int rc = Run(s[0], s[1], seconds);
      std::fflush(stdout);
      _exit(rc);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
