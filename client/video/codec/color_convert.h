#pragma once

#include <cstdint>

// The colour conversions between the games' frames and VP8's pictures.
//
// A game frame is 24-bit, three bytes per pixel in B, G, R order, rows
// bottom-up (the first stored row is the bottom row of the picture), no
// row padding. Pictures are 4:2:0 planar YUV with studio-range luma.
//
// Encoding gives each 2x2 block the U and V of its mean colour (rounded per
// channel), so a block of one colour keeps exactly that colour's chroma
// and a block across an edge gets a blend of its pixels, not a mix of one
// pixel's U with another's V. Decoding writes B, G, R again, so a round
// trip keeps the channels where they were; luma stays in 16..235 (white
// comes back as 235, black as 16).
//
// Width and height must be even and at least 2; strides are in bytes.
namespace ombrix::video {

struct PlanarPicture {
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int y_stride;
  int u_stride;
  int v_stride;
};

struct ConstPlanarPicture {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int y_stride;
  int u_stride;
  int v_stride;
};

void BgrBottomUpToYuv420(const uint8_t* bgr, int width, int height, const PlanarPicture& out);
void Yuv420ToBgrBottomUp(const ConstPlanarPicture& in, int width, int height, uint8_t* bgr);

}  // namespace ombrix::video
