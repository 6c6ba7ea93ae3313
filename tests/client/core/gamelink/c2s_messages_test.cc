#include "client/core/gamelink/c2s_messages.h"

#include <gtest/gtest.h>

#include "tests/client/core/gamelink/wire_bytes.h"

namespace {

using gamelink_test::Bytes;
using gamelink_test::Hex;
using gamelink_test::Packet;

template <typename M>
M Read(const Bytes& b) {
  return M(b.data(), static_cast<uint32_t>(b.size()));
}

TEST(C2SMessagesTest, HeaderShorterThanFourBytesGivesInvalidIdAndFlag) {
  for (size_t n = 0; n < 4; ++n) {
    Bytes b = Hex("0d 00 00");
    b.resize(n);
    IPCMessage m(b.data(), static_cast<uint32_t>(n));
    EXPECT_EQ(m.message_id(), 0xFFFF);
    EXPECT_EQ(m.flag(), 0xFFFF);
  }
  IPCMessage null_packet(nullptr, 8);
  EXPECT_EQ(null_packet.message_id(), 0xFFFF);
}

TEST(C2SMessagesTest, FourBytePacketIsACompleteMessageWithoutFields) {
  Bytes b = Hex("0d 00 07 00");
  auto m = Read<COBMSG_C2S_SETNICKNAME>(b);
  EXPECT_EQ(m.message_id(), COBMSG_C2S_SETNICKNAME::kId);
  EXPECT_EQ(m.flag(), 7);  // carried, never interpreted
  EXPECT_EQ(m.remaining(), 0u);
  EXPECT_EQ(Read<COBMSG_C2S_DETACH>(Hex("02 00 00 00")).message_id(), 2);
  EXPECT_EQ(Read<COBMSG_C2S_REQUESTLOGIN>(Hex("0a 00 00 00")).message_id(), 10);
  EXPECT_EQ(Read<COBMSG_C2S_LOGOUT>(Hex("0e 00 00 00")).message_id(), 14);
}

TEST(C2SMessagesTest, AttachReadsTheGameIdIncludingSurrogatePairs) {
  auto m = Read<COBMSG_C2S_ATTACH>(Hex("00 00 00 00 0a 00 00 00 67 00 31 00 3d d8 00 de 7a 00"));
  EXPECT_EQ(m.message_id(), 0);
  EXPECT_EQ(m.game_id, L"g1\U0001F600z");
  // A lone surrogate becomes the replacement character.
  auto lone = Read<COBMSG_C2S_ATTACH>(Hex("00 00 00 00 02 00 00 00 00 dc"));
  EXPECT_EQ(lone.game_id, L"\uFFFD");
}

TEST(C2SMessagesTest, ScalarMessages) {
  auto sc = Read<COBMSG_C2S_SYSTEMCONFIG>(Hex("03 00 00 00 01 00 00 00 c0 12 00 00"));
  EXPECT_EQ(sc.kind, COBMSG_C2S_SYSTEMCONFIG::kOverlayX);
  EXPECT_EQ(sc.value, 4800);
  auto gc = Read<COBMSG_C2S_GAMECONFIG>(Hex("06 00 00 00 00 00 00 00 01"));
  EXPECT_EQ(gc.kind, 0);
  EXPECT_EQ(gc.value, 1);
  EXPECT_EQ(Read<COBMSG_C2S_OPENURL>(Hex("16 00 00 00 02 00 00 00")).which, 2);
  auto fo = Read<COBMSG_C2S_FRIEND_ONLINE>(Hex("1b 00 00 00 0a 00 00 00 03 00 00 00"));
  EXPECT_EQ(fo.page_size, 10);
  EXPECT_EQ(fo.page, 3);
}

TEST(C2SMessagesTest, LoginAndTicketAndPost) {
  Bytes login = Packet::Header(8).str(u"acc").str(u"pw").str(u"").u8(1).u8(0).bytes;
  auto m = Read<COBMSG_C2S_LOGIN>(login);
  EXPECT_EQ(m.account, L"acc");
  EXPECT_EQ(m.password, L"pw");
  EXPECT_EQ(m.unused, L"");
  EXPECT_EQ(m.remember_password, 1);
  EXPECT_EQ(m.auto_login, 0);
  // Without the two trailing bytes the strings are read and both flags
  // keep their initial value.
  login.resize(login.size() - 2);
  auto short_login = Read<COBMSG_C2S_LOGIN>(login);
  EXPECT_EQ(short_login.password, L"pw");
  EXPECT_EQ(short_login.remember_password, 0);
  EXPECT_EQ(short_login.auto_login, 0);

  auto t = Read<COBMSG_C2S_QTLLOGIN>(Packet::Header(11).str(u"T-1").str(u"x").bytes);
  EXPECT_EQ(t.ticket, L"T-1");
  EXPECT_EQ(t.unused, L"x");
  auto p =
      Read<COBMSG_C2S_POSTBLOG>(Packet::Header(16).str(u"\u6211\u5728").str(u"/s/a.jpg").bytes);
  EXPECT_EQ(p.text, L"\u6211\u5728");
  EXPECT_EQ(p.image_path, L"/s/a.jpg");
  auto n =
      Read<COBMSG_C2S_NEWIMAGE>(Packet::Header(18).i32(9).i32(9).i32(1).str(u"/s/b.jpg").bytes);
  EXPECT_EQ(n.kind, 1);
  EXPECT_EQ(n.image_path, L"/s/b.jpg");
}

TEST(C2SMessagesTest, VideoControlMessages) {
  auto inv = Read<COBMSG_C2S_VIDEO_INVITE>(Packet::Header(30).u8(1).str(u"inv").str(u"bob").bytes);
  EXPECT_EQ(inv.send_own_video, 1);
  EXPECT_EQ(inv.invitation_id, L"inv");
  EXPECT_EQ(inv.invited_account, L"bob");
  auto rep = Read<COBMSG_C2S_VIDEO_REPLY>(Packet::Header(32).i32(-3).str(u"inv").bytes);
  EXPECT_EQ(rep.answer, -3);
  EXPECT_EQ(rep.invitation_id, L"inv");
  EXPECT_EQ(Read<COBMSG_C2S_VIDEO_STOP>(Packet::Header(34).str(u"inv").bytes).invitation_id,
            L"inv");
}

TEST(C2SMessagesTest, VideoFrameIsReadInPlaceWhenItsCountMatchesTheSize) {
  Bytes pixels = {1, 2, 3, 4, 5, 6};
  Bytes b = Packet::Header(38).str(u"i").u16(30).u16(2).u16(1).i32(6).raw(pixels).bytes;
  auto m = Read<COBMSG_C2S_VEDIO_STREAM>(b);
  ASSERT_TRUE(m.HasFrame());
  EXPECT_EQ(m.frame, b.data() + b.size() - 6);  // a pointer into the packet, not a copy
  EXPECT_EQ(m.frame_size, 6u);
  EXPECT_EQ(m.frame_rate, 30);
  EXPECT_EQ(m.width, 2);
  EXPECT_EQ(m.height, 1);
  EXPECT_EQ(m.invitation_id, L"i");
}

TEST(C2SMessagesTest, VideoFrameWithAWrongNegativeOrTruncatedCountIsDropped) {
  Bytes pixels(12, 7);
  // Count 12 for a 2x1 frame (needs 6): dropped.
  EXPECT_FALSE(Read<COBMSG_C2S_VEDIO_STREAM>(
                   Packet::Header(38).str(u"i").u16(30).u16(2).u16(1).i32(12).raw(pixels).bytes)
                   .HasFrame());
  // Count 3 (short of 6): dropped, so nothing reads past the buffer.
  EXPECT_FALSE(Read<COBMSG_C2S_VEDIO_STREAM>(
                   Packet::Header(38).str(u"i").u16(30).u16(2).u16(1).i32(3).raw(pixels).bytes)
                   .HasFrame());
  // Negative count.
  EXPECT_FALSE(Read<COBMSG_C2S_VEDIO_STREAM>(
                   Packet::Header(38).str(u"i").u16(30).u16(2).u16(1).i32(-6).raw(pixels).bytes)
                   .HasFrame());
  // Count right, bytes missing.
  EXPECT_FALSE(Read<COBMSG_C2S_VEDIO_STREAM>(
                   Packet::Header(38).str(u"i").u16(30).u16(2).u16(1).i32(6).raw({1, 2}).bytes)
                   .HasFrame());
  // An empty frame is no frame.
  EXPECT_FALSE(
      Read<COBMSG_C2S_VEDIO_STREAM>(Packet::Header(38).str(u"i").u16(30).u16(0).u16(0).i32(0).bytes)
          .HasFrame());
}

// The string reader's rules, through a plain message that keeps its packet.
struct PacketHolder {
  Bytes packet;
};
class StringReader : private PacketHolder, public IPCMessage {
 public:
  explicit StringReader(Bytes b)
      : PacketHolder{std::move(b)},
        IPCMessage(packet.data(), static_cast<uint32_t>(packet.size())) {}
};

TEST(C2SMessagesTest, OverLongStringIsCutButTheWholeCountIsSkipped) {
  // str(16) with count 40 and 40 bytes present: 15 characters stored and
  // the cursor moves past all 40 bytes, so the next field is read right.
  std::u16string twenty(20, u'k');
  StringReader r(Packet::Header(99).str(twenty).i32(77).bytes);
  std::wstring text;
  ASSERT_TRUE(r.ReadString(16, &text));
  EXPECT_EQ(text, std::wstring(15, L'k'));
  EXPECT_EQ(r.cursor(), 4u + 4 + 40);
  int32_t next = 0;
  ASSERT_TRUE(r.ReadI32(&next));
  EXPECT_EQ(next, 77);
}

TEST(C2SMessagesTest, CutNeverLeavesHalfASurrogatePair) {
  // 14 units then a pair: the cut at 15 would keep only its high half.
  StringReader r(Packet::Header(99).str(std::u16string(14, u'k') + u"\U0001F600").bytes);
  std::wstring text;
  ASSERT_TRUE(r.ReadString(16, &text));
  EXPECT_EQ(text, std::wstring(14, L'k'));
}

TEST(C2SMessagesTest, NegativeOrTooLargeCountMeansTheFieldIsMissing) {
  std::wstring text = L"initial";
  StringReader negative(Packet::Header(99).i32(-2).u16('a').bytes);
  EXPECT_FALSE(negative.ReadString(128, &text));
  EXPECT_EQ(text, L"initial");
  EXPECT_EQ(negative.cursor(), 8u);  // behind the count

  StringReader huge(Packet::Header(99).i32(100).u16('a').bytes);
  EXPECT_FALSE(huge.ReadString(128, &text));
  EXPECT_EQ(text, L"initial");
  EXPECT_EQ(huge.cursor(), 8u);
  // The bytes after the count are still there for a shorter field.
  uint16_t unit = 0;
  EXPECT_TRUE(huge.ReadU16(&unit));
  EXPECT_EQ(unit, 'a');
}

TEST(C2SMessagesTest, TruncatedFieldsLeaveTheCursorAndLaterFieldsAreStillTried) {
  // Two bytes where an i32 should be: it is not read, but a u16 fits.
  StringReader r(Packet::Header(99).u16(5).bytes);
  int32_t i = -9;
  EXPECT_FALSE(r.ReadI32(&i));
  EXPECT_EQ(i, -9);
  EXPECT_EQ(r.cursor(), 4u);
  std::wstring text = L"x";
  EXPECT_FALSE(r.ReadString(128, &text));  // no room for a count
  EXPECT_EQ(r.cursor(), 4u);
  uint16_t u = 0;
  EXPECT_TRUE(r.ReadU16(&u));
  EXPECT_EQ(u, 5);
  // An odd count drops its last byte and is skipped whole.
  StringReader odd(Packet::Header(99).i32(3).u8('a').u8(0).u8('z').u8(0x42).bytes);
  ASSERT_TRUE(odd.ReadString(128, &text));
  EXPECT_EQ(text, L"a");
  uint8_t after = 0;
  ASSERT_TRUE(odd.ReadU8(&after));
  EXPECT_EQ(after, 0x42);
}

TEST(C2SMessagesTest, AttachWithAGameIdOverCapacityKeeps127Units) {
  auto m = Read<COBMSG_C2S_ATTACH>(Packet::Header(0).str(std::u16string(200, u'g')).bytes);
  EXPECT_EQ(m.game_id.size(), 127u);
}

}  // namespace
