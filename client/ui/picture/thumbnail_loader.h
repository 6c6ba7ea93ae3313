#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "uilib/winsys/ui_defs.h"

typedef struct _cairo_surface cairo_surface_t;

// How a tile is made from its picture.
enum class TileStyle {
  kSingle,        // fitted and centred; missing file: the not-found tile
  kSeries,        // the first picture four times under a grid; missing: not-found
  kInsideSeries,  // fitted and centred; missing file: a plain tile
};

// Owns one cairo image surface.
class TileSurface {
 public:
  TileSurface() = default;
  explicit TileSurface(cairo_surface_t* surface) : surface_(surface) {}
  ~TileSurface();
  TileSurface(TileSurface&& other) noexcept : surface_(other.surface_) { other.surface_ = nullptr; }
  TileSurface& operator=(TileSurface&& other) noexcept;
  TileSurface(const TileSurface&) = delete;
  TileSurface& operator=(const TileSurface&) = delete;
  cairo_surface_t* get() const { return surface_; }

 private:
  cairo_surface_t* surface_ = nullptr;
};

// Makes the 160 x 120 tiles of the picture windows on worker threads and
// keeps them, so that a window with a thousand pictures paints at once
// (tiles not made yet show the plain background) and a second opening
// decodes nothing that has not changed on disk. Finished tiles are handed
// over on the GUI thread: the loader posts `ready_message` to `notify`,
// and the window calls TakeFinished. The owner (the window) stops the
// workers in the destructor, before its window goes. GUI thread only,
// apart from the workers.
class ThumbnailLoader {
 public:
  static constexpr int kTileWidth = 160;
  static constexpr int kTileHeight = 120;
  static constexpr uint32_t kClearColor = 0xEDFEE0;

  ThumbnailLoader(uilib::HWND notify, uilib::UINT ready_message, int workers = 2);
  ~ThumbnailLoader();
  ThumbnailLoader(const ThumbnailLoader&) = delete;
  ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

  // Starts over with this set of tiles, in display order: queued work for
  // other tiles is dropped, and tiles kept for pictures no longer listed are
  // released. Tiles whose file changed are made again. Returns each
  // tile's key, for Find.
  std::vector<std::string> Request(const std::vector<std::pair<std::wstring, TileStyle>>& tiles);
  // The tile, or null while it is being made.
  cairo_surface_t* Find(const std::string& key) const;
  // Moves finished tiles into the cache; true when any arrived.
  bool TakeFinished();
  // Tiles requested and not yet taken.
  size_t PendingCount() const;

  // Pure functions of the tile making, exposed for the benchmark and tests.
  static TileSurface MakeTile(const std::wstring& path, TileStyle style, bool* missing);
  static TileSurface MakeNotFoundTile();
  static TileSurface MakePlainTile();

 private:
  struct Job {
    std::string key;
    std::wstring path;
    TileStyle style;
    uint64_t generation;
  };
  struct Done {
    std::string key;
    TileSurface tile;
    bool missing;
    uint64_t generation;
  };
  void WorkerLoop();
  static std::string KeyOf(const std::wstring& path, TileStyle style);

  uilib::HWND notify_;
  uilib::UINT ready_message_;

  // GUI thread only.
  std::unordered_map<std::string, TileSurface> cache_;
  std::unordered_map<std::string, bool> wanted_;  // key -> taken yet
  size_t pending_ = 0;
  TileSurface not_found_;
  TileSurface plain_;

  // Shared with the workers.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  std::vector<Done> finished_;
  uint64_t generation_ = 0;
  bool notified_ = false;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

// A whole picture file as a cairo surface (null surface when unreadable).
TileSurface LoadImageSurface(const std::wstring& path);
