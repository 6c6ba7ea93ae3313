#include "client/ui/picture/thumbnail_loader.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "client/ui/base/cairo_text.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/win_api.h"

namespace {

constexpr uint32_t kSeriesGridColor = 0xFFDC7A;
constexpr uint32_t kNotFoundColor = 0x00FF00;

// gdk-pixbuf keeps straight RGB(A) bytes; cairo wants premultiplied
// native-endian ARGB words.
cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf) {
  const int w = gdk_pixbuf_get_width(pixbuf);
  const int h = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  const int src_stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
  cairo_surface_t* surface =
      cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
  cairo_surface_flush(surface);
  unsigned char* dst = cairo_image_surface_get_data(surface);
  const int dst_stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y) {
    const guchar* s = src + static_cast<size_t>(y) * src_stride;
    auto* d = reinterpret_cast<uint32_t*>(dst + static_cast<size_t>(y) * dst_stride);
    for (int x = 0; x < w; ++x, s += channels) {
      uint32_t a = alpha ? s[3] : 0xFF;
      uint32_t r = s[0] * a / 255, g = s[1] * a / 255, b = s[2] * a / 255;
      d[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

// Decodes at (about) the size it will be drawn: the JPEG loader then scales
// while decoding, which is what keeps a thousand tiles cheap.
GdkPixbuf* LoadScaled(const std::string& path, int width, int height) {
  if (width < 1) width = 1;
  if (height < 1) height = 1;
  return gdk_pixbuf_new_from_file_at_scale(path.c_str(), width, height, FALSE, nullptr);
}

void DrawPixbuf(cairo_t* cr, GdkPixbuf* pixbuf, double x, double y, double w, double h) {
  cairo_surface_t* src = SurfaceFromPixbuf(pixbuf);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, w / gdk_pixbuf_get_width(pixbuf), h / gdk_pixbuf_get_height(pixbuf));
  cairo_set_source_surface(cr, src, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(src);
}

TileSurface MakeFitted(const std::string& path, bool* missing) {
  int width = 0, height = 0;
  *missing = gdk_pixbuf_get_file_info(path.c_str(), &width, &height) == nullptr || width <= 0 ||
             height <= 0;
  GdkPixbuf* pixbuf = nullptr;
  float s = 0, ox = 0, oy = 0;
  if (!*missing) {
    const float sx = 160.0f / static_cast<float>(width), sy = 120.0f / static_cast<float>(height);
    if (sx > sy) {
      s = sy;
      ox = (160.0f - static_cast<float>(width) * s) * 0.5f;
    } else {
      s = sx;
      oy = (120.0f - static_cast<float>(height) * s) * 0.5f;
    }
    pixbuf = LoadScaled(path, static_cast<int>(static_cast<float>(width) * s),
                        static_cast<int>(static_cast<float>(height) * s));
    *missing = pixbuf == nullptr;
  }
  cairo_surface_t* surface = cairo_image_surface_create(
      CAIRO_FORMAT_RGB24, ThumbnailLoader::kTileWidth, ThumbnailLoader::kTileHeight);
  cairo_t* cr = cairo_create(surface);
  SetSourceRgb(cr, ThumbnailLoader::kClearColor);
  cairo_paint(cr);
  if (pixbuf) {
    DrawPixbuf(cr, pixbuf, static_cast<int>(ox), static_cast<int>(oy), static_cast<int>(width * s),
               static_cast<int>(height * s));
    g_object_unref(pixbuf);
  }
  cairo_destroy(cr);
  return TileSurface(surface);
}

TileSurface MakeSeries(const std::string& path, bool* missing) {
  GdkPixbuf* pixbuf = LoadScaled(path, 80, 60);
  *missing = pixbuf == nullptr;
  if (!pixbuf) return TileSurface();
  cairo_surface_t* surface = cairo_image_surface_create(
      CAIRO_FORMAT_ARGB32, ThumbnailLoader::kTileWidth, ThumbnailLoader::kTileHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  DrawPixbuf(cr, pixbuf, 5, 5, 80, 60);
  DrawPixbuf(cr, pixbuf, 80, 5, 75, 60);
  DrawPixbuf(cr, pixbuf, 5, 60, 80, 55);
  DrawPixbuf(cr, pixbuf, 80, 60, 75, 55);
  g_object_unref(pixbuf);
  SetSourceRgb(cr, kSeriesGridColor);
  cairo_set_line_width(cr, 10);
  cairo_rectangle(cr, 0, 0, 160, 120);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 5);
  cairo_move_to(cr, 80, 0);
  cairo_line_to(cr, 80, 120);
  cairo_move_to(cr, 0, 60);
  cairo_line_to(cr, 160, 60);
  cairo_stroke(cr);
  cairo_destroy(cr);
  return TileSurface(surface);
}

}  // namespace

TileSurface::~TileSurface() {
  if (surface_) cairo_surface_destroy(surface_);
}

TileSurface& TileSurface::operator=(TileSurface&& other) noexcept {
  if (this != &other) {
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = other.surface_;
    other.surface_ = nullptr;
  }
  return *this;
}

TileSurface ThumbnailLoader::MakeTile(const std::wstring& path, TileStyle style, bool* missing) {
  const std::string file = brx::util::WideToUtf8(path);
  if (style == TileStyle::kSeries) return MakeSeries(file, missing);
  return MakeFitted(file, missing);
}

TileSurface ThumbnailLoader::MakeNotFoundTile() {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kTileWidth, kTileHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  {
    CairoText missing(cr, "SimSun, sans-serif 12", "文件没找到!");
    SetSourceRgb(cr, kNotFoundColor);
    missing.ShowAt((kTileWidth - missing.width()) / 2, (kTileHeight - missing.height()) / 2);
  }
  cairo_destroy(cr);
  return TileSurface(surface);
}

TileSurface ThumbnailLoader::MakePlainTile() {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, kTileWidth, kTileHeight);
  cairo_t* cr = cairo_create(surface);
  SetSourceRgb(cr, kClearColor);
  cairo_paint(cr);
  cairo_destroy(cr);
  return TileSurface(surface);
}

ThumbnailLoader::ThumbnailLoader(uilib::HWND notify, uilib::UINT ready_message, int workers)
    : notify_(notify), ready_message_(ready_message) {
  for (int i = 0; i < std::max(1, workers); ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

ThumbnailLoader::~ThumbnailLoader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (auto& worker : workers_) worker.join();
}

std::string ThumbnailLoader::KeyOf(const std::wstring& path, TileStyle style) {
  std::string file = brx::util::WideToUtf8(path);
  struct stat st {};
  std::string stamp = "-";
  if (::stat(file.c_str(), &st) == 0) {
    stamp = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + "." +
            std::to_string(st.st_size);
  }
  return std::to_string(static_cast<int>(style)) + "|" + stamp + "|" + file;
}

std::vector<std::string> ThumbnailLoader::Request(
    const std::vector<std::pair<std::wstring, TileStyle>>& tiles) {
  std::vector<std::string> keys;
  keys.reserve(tiles.size());
  std::unordered_map<std::string, bool> wanted;
  std::vector<Job> jobs;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++generation_;
    queue_.clear();
    finished_.clear();
  }
  for (const auto& [path, style] : tiles) {
    std::string key = KeyOf(path, style);
    keys.push_back(key);
    if (wanted.count(key)) continue;
    const bool cached = cache_.count(key) != 0;
    wanted.emplace(key, cached);
    if (!cached) jobs.push_back(Job{key, path, style, 0});
  }
  for (auto it = cache_.begin(); it != cache_.end();) {
    it = wanted.count(it->first) ? std::next(it) : cache_.erase(it);
  }
  wanted_ = std::move(wanted);
  pending_ = jobs.size();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& job : jobs) {
      job.generation = generation_;
      queue_.push_back(std::move(job));
    }
  }
  wake_.notify_all();
  return keys;
}

cairo_surface_t* ThumbnailLoader::Find(const std::string& key) const {
  auto it = cache_.find(key);
  return it == cache_.end() ? nullptr : it->second.get();
}

bool ThumbnailLoader::TakeFinished() {
  std::vector<Done> done;
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done.swap(finished_);
    notified_ = false;
    generation = generation_;
  }
  bool any = false;
  for (auto& item : done) {
    if (item.generation != generation) continue;
    auto wanted = wanted_.find(item.key);
    if (wanted == wanted_.end() || wanted->second) continue;
    wanted->second = true;
    if (pending_ > 0) --pending_;
    TileSurface tile = std::move(item.tile);
    if (item.missing) {
      // Every missing single or series shows the same not-found tile; a
      // missing picture inside a series shows a plain one.
      const bool inside = item.key.front() == '0' + static_cast<int>(TileStyle::kInsideSeries);
      TileSurface& shared = inside ? plain_ : not_found_;
      if (!shared.get()) shared = inside ? MakePlainTile() : MakeNotFoundTile();
      tile = TileSurface(cairo_surface_reference(shared.get()));
    }
    cache_[item.key] = std::move(tile);
    any = true;
  }
  return any;
}

size_t ThumbnailLoader::PendingCount() const { return pending_; }

void ThumbnailLoader::WorkerLoop() {
  // Decoding must never take the CPU from the GUI thread: it paints first.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    bool missing = false;
    TileSurface tile = MakeTile(job.path, job.style, &missing);
    bool post = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (job.generation != generation_) continue;
      finished_.push_back(Done{std::move(job.key), std::move(tile), missing, job.generation});
      post = !notified_;
      notified_ = true;
    }
    if (post) uilib::PostMessage(notify_, ready_message_, 0, 0);
  }
}

TileSurface LoadImageSurface(const std::wstring& path) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(brx::util::WideToUtf8(path).c_str(), nullptr);
  if (!pixbuf) return TileSurface();
  TileSurface surface(SurfaceFromPixbuf(pixbuf));
  g_object_unref(pixbuf);
  return surface;
}
