#include "client/video/codec/color_convert.h"

#include <algorithm>
#include <cstddef>

// Both directions run a row pair at a time in chunks of kChunk pixels:
// the packed B, G, R bytes are split into (or joined from) one small
// array per channel, and everything between works on plain arrays of
// bytes and shorts with unit or pair strides and no branches, which the
// compiler turns into vector code. Every product fits the 16-bit lanes
// except the four chroma terms of decoding, which are worked out once per
// chroma sample in 32 bits. Each function is built for the plain target,
// for SSSE3 and for AVX2 (splitting and joining packed bytes needs their
// byte shuffles to be fast), and the loader picks the best the CPU has.
// The loader runs the picking before a thread sanitizer's runtime is up,
// and the instrumented picker would crash there, so that build keeps the
// plain one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define OMBRIX_VECTOR_CLONES __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define OMBRIX_VECTOR_CLONES
#endif

namespace ombrix::video {
namespace {

constexpr int kChunk = 512;  // pixels; even

struct Planes {
  alignas(32) uint8_t b[kChunk];
  alignas(32) uint8_t g[kChunk];
  alignas(32) uint8_t r[kChunk];
};

inline void Split(const uint8_t* __restrict bgr, int n, Planes& p) {
  for (int x = 0; x < n; ++x) {
    p.b[x] = bgr[3 * x];
    p.g[x] = bgr[3 * x + 1];
    p.r[x] = bgr[3 * x + 2];
  }
}

inline void Join(const Planes& p, int n, uint8_t* __restrict bgr) {
  for (int x = 0; x < n; ++x) {
    bgr[3 * x] = p.b[x];
    bgr[3 * x + 1] = p.g[x];
    bgr[3 * x + 2] = p.r[x];
  }
}

inline void LumaRow(const Planes& p, int n, uint8_t* __restrict y) {
  for (int x = 0; x < n; ++x) {
    // At most 220 * 255 + 128: an unsigned 16-bit lane.
    const uint16_t sum = static_cast<uint16_t>(66 * p.r[x] + 129 * p.g[x] + 25 * p.b[x] + 128);
    y[x] = static_cast<uint8_t>((sum >> 8) + 16);
  }
}

// One U and one V per 2x2 block, from the block's rounded mean colour; a
// block of one colour gives exactly that colour's chroma.
inline void ChromaRows(const Planes& top, const Planes& bottom, int n, uint8_t* __restrict u,
                       uint8_t* __restrict v) {
  for (int j = 0; j < n / 2; ++j) {
    const int16_t b = static_cast<int16_t>(
        (top.b[2 * j] + top.b[2 * j + 1] + bottom.b[2 * j] + bottom.b[2 * j + 1] + 2) >> 2);
    const int16_t g = static_cast<int16_t>(
        (top.g[2 * j] + top.g[2 * j + 1] + bottom.g[2 * j] + bottom.g[2 * j + 1] + 2) >> 2);
    const int16_t r = static_cast<int16_t>(
        (top.r[2 * j] + top.r[2 * j + 1] + bottom.r[2 * j] + bottom.r[2 * j + 1] + 2) >> 2);
    // Each sum lies within +-28688: a signed 16-bit lane.
    const int16_t cu = static_cast<int16_t>(-38 * r - 74 * g + 112 * b + 128);
    const int16_t cv = static_cast<int16_t>(112 * r - 94 * g - 18 * b + 128);
    u[j] = static_cast<uint8_t>((cu >> 8) + 128);
    v[j] = static_cast<uint8_t>((cv >> 8) + 128);
  }
}

// The decode terms of one chroma row, per pixel: each sample's term
// stands for the two pixels side by side that share it.
struct ChromaTerms {
  alignas(32) int16_t b[kChunk];
  alignas(32) int16_t g[kChunk];
  alignas(32) int16_t r[kChunk];
};

inline void Widen(const int16_t* __restrict half, int n, int16_t* __restrict full) {
  for (int j = 0; j < n / 2; ++j) {
    full[2 * j] = half[j];
    full[2 * j + 1] = half[j];
  }
}

inline void Terms(const uint8_t* __restrict u, const uint8_t* __restrict v, int n, ChromaTerms& t) {
  ChromaTerms half;
  for (int j = 0; j < n / 2; ++j) {
    const int cu = u[j] - 128;
    const int cv = v[j] - 128;
    // >> on a negative int is an arithmetic shift in C++20.
    half.b[j] = static_cast<int16_t>((cu * 454) >> 8);
    half.g[j] = static_cast<int16_t>(((cu * 88) >> 8) + ((cv * 183) >> 8));
    half.r[j] = static_cast<int16_t>((cv * 359) >> 8);
  }
  Widen(half.b, n, t.b);
  Widen(half.g, n, t.g);
  Widen(half.r, n, t.r);
}

// Luma plus or minus a term lies within -227..482: a 16-bit lane.
inline void AddClamped(const uint8_t* __restrict y, const int16_t* __restrict term, int n,
                       uint8_t* __restrict out) {
  for (int x = 0; x < n; ++x)
    out[x] =
        static_cast<uint8_t>(std::clamp<int16_t>(static_cast<int16_t>(y[x] + term[x]), 0, 255));
}

inline void SubClamped(const uint8_t* __restrict y, const int16_t* __restrict term, int n,
                       uint8_t* __restrict out) {
  for (int x = 0; x < n; ++x)
    out[x] =
        static_cast<uint8_t>(std::clamp<int16_t>(static_cast<int16_t>(y[x] - term[x]), 0, 255));
}

inline void PixelsRow(const uint8_t* __restrict y, const ChromaTerms& t, int n, Planes& p) {
  AddClamped(y, t.b, n, p.b);
  SubClamped(y, t.g, n, p.g);
  AddClamped(y, t.r, n, p.r);
}

}  // namespace

OMBRIX_VECTOR_CLONES
void BgrBottomUpToYuv420(const uint8_t* bgr, int width, int height, const PlanarPicture& out) {
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  Planes top, bottom;
  for (int i = 0; i < height; i += 2) {
    // Picture row i is stored row height - 1 - i; row i + 1 lies below
    // it in the picture and one stored row earlier.
    const uint8_t* src_top = bgr + static_cast<size_t>(height - 1 - i) * row_bytes;
    const uint8_t* src_bottom = src_top - row_bytes;
    uint8_t* y_top = out.y + static_cast<ptrdiff_t>(i) * out.y_stride;
    uint8_t* y_bottom = y_top + out.y_stride;
    uint8_t* u = out.u + static_cast<ptrdiff_t>(i / 2) * out.u_stride;
    uint8_t* v = out.v + static_cast<ptrdiff_t>(i / 2) * out.v_stride;
    for (int x = 0; x < width; x += kChunk) {
      const int n = std::min(kChunk, width - x);
      Split(src_top + 3 * static_cast<size_t>(x), n, top);
      Split(src_bottom + 3 * static_cast<size_t>(x), n, bottom);
      LumaRow(top, n, y_top + x);
      LumaRow(bottom, n, y_bottom + x);
      ChromaRows(top, bottom, n, u + x / 2, v + x / 2);
    }
  }
}

OMBRIX_VECTOR_CLONES
void Yuv420ToBgrBottomUp(const ConstPlanarPicture& in, int width, int height, uint8_t* bgr) {
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  Planes pixels;
  ChromaTerms terms;
  // Two picture rows share one chroma row; they are written together.
  for (int i = 0; i < height; i += 2) {
    const uint8_t* y_top = in.y + static_cast<ptrdiff_t>(i) * in.y_stride;
    const uint8_t* y_bottom = y_top + in.y_stride;
    const uint8_t* u = in.u + static_cast<ptrdiff_t>(i / 2) * in.u_stride;
    const uint8_t* v = in.v + static_cast<ptrdiff_t>(i / 2) * in.v_stride;
    uint8_t* dst_top = bgr + static_cast<size_t>(height - 1 - i) * row_bytes;
    uint8_t* dst_bottom = dst_top - row_bytes;
    for (int x = 0; x < width; x += kChunk) {
      const int n = std::min(kChunk, width - x);
      Terms(u + x / 2, v + x / 2, n, terms);
      PixelsRow(y_top + x, terms, n, pixels);
      Join(pixels, n, dst_top + 3 * static_cast<size_t>(x));
      PixelsRow(y_bottom + x, terms, n, pixels);
      Join(pixels, n, dst_bottom + 3 * static_cast<size_t>(x));
    }
  }
}

}  // namespace ombrix::video
