#include "runtime/base/serialize_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace brx::base {
namespace {

TEST(SerializeWriterTest, WritesLittleEndianFields) {
  SerializeWriter w;
  w.WriteU8(0xAB);
  w.WriteU16(0x1234);
  w.WriteI32(-2);
  w.WriteF32(1.0f);
  std::vector<uint8_t> got(w.data(), w.data() + w.size());
  EXPECT_EQ(got, (std::vector<uint8_t>{0xAB, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80,
                                       0x3F}));
}

TEST(SerializeWriterTest, GrowsByDoublingAndKeepsContent) {
  SerializeWriter w;
  EXPECT_EQ(w.capacity(), 4096u);
  w.WriteBytes(std::vector<uint8_t>(4000, 7).data(), 4000);
  w.WriteU32(0xDEADBEEF);  // 4004 bytes: still fits
  EXPECT_EQ(w.capacity(), 4096u);
  std::vector<uint8_t> frame(921600, 9);
  w.WriteBytes(frame.data(), frame.size());
  EXPECT_EQ(w.capacity(), 4096u * 256);  // first power-of-two multiple holding 925604 bytes
  ASSERT_EQ(w.size(), 4004u + 921600u);
  EXPECT_EQ(w.data()[3999], 7);
  EXPECT_EQ(w.data()[4000], 0xEF);
  EXPECT_EQ(w.data()[4003], 0xDE);
  EXPECT_EQ(w.data()[4004], 9);
  EXPECT_EQ(w.data()[w.size() - 1], 9);
}

}  // namespace
}  // namespace brx::base
