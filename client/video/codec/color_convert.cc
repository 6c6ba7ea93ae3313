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

inline uint8_t Clamp(int value) {
  return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

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
  const int row_bytes = width * 3;
  for (int i = 0; i < height; ++i) {
    const uint8_t* y = in.y + static_cast<size_t>(i) * in.y_stride;
    const uint8_t* u = in.u + static_cast<size_t>(i / 2) * in.u_stride;
    const uint8_t* v = in.v + static_cast<size_t>(i / 2) * in.v_stride;
    uint8_t* dst = bgr + static_cast<size_t>(height - 1 - i) * row_bytes;
    for (int x = 0; x < width; x += 2) {
      const int cu = u[x / 2], cv = v[x / 2];
      const int db = kTables.b_from_u[cu];
      const int dg = kTables.g_from_u[cu] + kTables.g_from_v[cv];
      const int dr = kTables.r_from_v[cv];
      for (int k = 0; k < 2; ++k) {
        const int luma = y[x + k];
        uint8_t* p = dst + 3 * (x + k);
        p[0] = Clamp(luma + db);
        p[1] = Clamp(luma - dg);
        p[2] = Clamp(luma + dr);
      }
    }
  }
}

}  // namespace ombrix::video
