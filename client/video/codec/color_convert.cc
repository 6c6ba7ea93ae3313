#include "client/video/codec/color_convert.h"

#include <array>
#include <cstddef>

namespace ombrix::video {
namespace {

// The decode terms, indexed by the chroma byte: ((c - 128) * k) >> 8.
struct ChromaTables {
  std::array<int16_t, 256> g_from_u;  // k = 88
  std::array<int16_t, 256> b_from_u;  // k = 454
  std::array<int16_t, 256> r_from_v;  // k = 359
  std::array<int16_t, 256> g_from_v;  // k = 183
};

constexpr ChromaTables MakeTables() {
  ChromaTables t{};
  for (int c = 0; c < 256; ++c) {
    // >> on a negative int is an arithmetic shift in C++20.
    t.g_from_u[c] = static_cast<int16_t>(((c - 128) * 88) >> 8);
    t.b_from_u[c] = static_cast<int16_t>(((c - 128) * 454) >> 8);
    t.r_from_v[c] = static_cast<int16_t>(((c - 128) * 359) >> 8);
    t.g_from_v[c] = static_cast<int16_t>(((c - 128) * 183) >> 8);
  }
  return t;
}

constexpr ChromaTables kTables = MakeTables();

// Luma plus any chroma term lies in -227..482; the table covers more.
struct ClampTable {
  static constexpr int kOffset = 512;
  std::array<uint8_t, 1536> values;
  uint8_t at(int value) const { return values[static_cast<size_t>(value + kOffset)]; }
};

constexpr ClampTable MakeClamp() {
  ClampTable t{};
  for (int i = 0; i < 1536; ++i) {
    const int v = i - ClampTable::kOffset;
    t.values[static_cast<size_t>(i)] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
  return t;
}

constexpr ClampTable kClamp = MakeClamp();

inline uint8_t Luma(int b, int g, int r) {
  return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}

}  // namespace

void BgrBottomUpToYuv420(const uint8_t* bgr, int width, int height, const PlanarPicture& out) {
  const int row_bytes = width * 3;
  for (int i = 0; i < height; ++i) {
    const uint8_t* src = bgr + static_cast<size_t>(height - 1 - i) * row_bytes;
    uint8_t* y = out.y + static_cast<size_t>(i) * out.y_stride;
    for (int x = 0; x < width; ++x) {
      y[x] = Luma(src[3 * x], src[3 * x + 1], src[3 * x + 2]);
    }
    if ((i & 1) == 0) {
      uint8_t* v = out.v + static_cast<size_t>(i / 2) * out.v_stride;
      for (int x = 0; x < width; x += 2) {
        const int b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
        v[x / 2] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
      }
    } else {
      uint8_t* u = out.u + static_cast<size_t>(i / 2) * out.u_stride;
      for (int x = 0; x < width; x += 2) {
        const int b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
        u[x / 2] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
      }
    }
  }
}

void Yuv420ToBgrBottomUp(const ConstPlanarPicture& in, int width, int height, uint8_t* bgr) {
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  // Two picture rows share one chroma row; they are written together.
  for (int i = 0; i < height; i += 2) {
    const uint8_t* y0 = in.y + static_cast<size_t>(i) * in.y_stride;
    const uint8_t* y1 = y0 + in.y_stride;
    const uint8_t* u = in.u + static_cast<size_t>(i / 2) * in.u_stride;
    const uint8_t* v = in.v + static_cast<size_t>(i / 2) * in.v_stride;
    uint8_t* d0 = bgr + static_cast<size_t>(height - 1 - i) * row_bytes;
    uint8_t* d1 = d0 - row_bytes;
    for (int x = 0; x < width; x += 2) {
      const int cu = u[x / 2], cv = v[x / 2];
      const int db = kTables.b_from_u[cu];
      const int dg = kTables.g_from_u[cu] + kTables.g_from_v[cv];
      const int dr = kTables.r_from_v[cv];
      const int luma[4] = {y0[x], y0[x + 1], y1[x], y1[x + 1]};
      uint8_t* p[4] = {d0 + 3 * x, d0 + 3 * x + 3, d1 + 3 * x, d1 + 3 * x + 3};
      for (int k = 0; k < 4; ++k) {
        p[k][0] = kClamp.at(luma[k] + db);
        p[k][1] = kClamp.at(luma[k] - dg);
        p[k][2] = kClamp.at(luma[k] + dr);
      }
    }
  }
}

}  // namespace ombrix::video
