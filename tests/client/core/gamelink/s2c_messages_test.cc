#include "client/core/gamelink/s2c_messages.h"

#include <gtest/gtest.h>

#include "runtime/io/io_stream_message_queue.h"
#include "tests/client/core/gamelink/wire_bytes.h"

namespace {

using gamelink_test::Bytes;
using gamelink_test::Hex;

Bytes Of(const IPCMessage& m) { return Bytes(m.data(), m.data() + m.size()); }

TEST(S2CMessagesTest, MessagesWithoutFieldsAreTheirHeaderOnly) {
  EXPECT_EQ(Of(COBMSG_S2C_WELCOME()), Hex("01 00 00 00"));
  EXPECT_EQ(Of(COBMSG_S2C_CONFIGOK()), Hex("07 00 00 00"));
  EXPECT_EQ(Of(COBMSG_S2C_LOGOUT()), Hex("0f 00 00 00"));
}

TEST(S2CMessagesTest, SystemConfigOfAFreshInstall) {
  SystemConfigValues v;
  v.overlay_x = 4800;
  v.overlay_y = 2550;
  v.user_folder_part = L"Users/All Users";
  v.store_folder = L"/o/OBSnapshot";
  EXPECT_EQ(Of(COBMSG_S2C_SYSTEMCONFIG(v)),
            Hex("04 00 00 00  01 01 01 01  c0 12 00 00  f6 09 00 00"
                "1e 00 00 00  55 00 73 00 65 00 72 00 73 00 2f 00 41 00 6c 00 6c 00 20 00 55 00 73 "
                "00 65 00 72 00 73 00"
                "1a 00 00 00  2f 00 6f 00 2f 00 4f 00 42 00 53 00 6e 00 61 00 70 00 73 00 68 00 6f "
                "00 74 00"));
}

TEST(S2CMessagesTest, GameConfigWithDefaultValues) {
  GameConfigValues v{5, 0.3f, 90, false, 5, L"HOME", L"END", L"F10", L"INSERT", L"DELETE", L"F1"};
  EXPECT_EQ(Of(COBMSG_S2C_GAMECONFIG(v)),
            Hex("05 00 00 00  05 00 00 00  9a 99 99 3e  5a 00 00 00  00  05 00 00 00"
                "08 00 00 00 48 00 4f 00 4d 00 45 00"
                "06 00 00 00 45 00 4e 00 44 00"
                "06 00 00 00 46 00 31 00 30 00"
                "0c 00 00 00 49 00 4e 00 53 00 45 00 52 00 54 00"
                "0c 00 00 00 44 00 45 00 4c 00 45 00 54 00 45 00"
                "04 00 00 00 46 00 31 00"));
}

TEST(S2CMessagesTest, ScalarAndTextMessages) {
  EXPECT_EQ(Of(COBMSG_S2C_LOGIN(1, true, L"ab")), Hex("09 00 00 00 01 01 04 00 00 00 61 00 62 00"));
  EXPECT_EQ(Of(COBMSG_S2C_LOGIN(0, false, L"")), Hex("09 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(Of(COBMSG_S2C_USERINFO(true)), Hex("0c 00 00 00 01"));
  EXPECT_EQ(Of(COBMSG_S2C_POSTBLOG(false, L"p")), Hex("11 00 00 00 00 02 00 00 00 70 00"));
  EXPECT_EQ(Of(COBMSG_S2C_SERVERTIME(L"2024")),
            Hex("17 00 00 00 08 00 00 00 32 00 30 00 32 00 34 00"));
  EXPECT_EQ(Of(COBMSG_S2C_IMAGESYN(0, 6, 0)),
            Hex("19 00 00 00 00 00 00 00 06 00 00 00 00 00 00 00"));
  EXPECT_EQ(Of(COBMSG_S2C_USERINFO_GetDataPrompt(1, 2, 3, -1)),
            Hex("1a 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 ff ff ff ff"));
  EXPECT_EQ(Of(COBMSG_S2C_FRIEND_ONLINE_HEADICON(L"h", L"f")),
            Hex("1d 00 00 00 02 00 00 00 68 00 02 00 00 00 66 00"));
  EXPECT_EQ(Of(COBMSG_S2C_VIDEO_INVITE(true, L"i", L"a", L"n")),
            Hex("1f 00 00 00 01 02 00 00 00 69 00 02 00 00 00 61 00 02 00 00 00 6e 00"));
  EXPECT_EQ(Of(COBMSG_S2C_VIDEO_REPLY(false, L"i")), Hex("21 00 00 00 00 02 00 00 00 69 00"));
  EXPECT_EQ(Of(COBMSG_S2C_VIDEO_STOP(L"i")), Hex("23 00 00 00 02 00 00 00 69 00"));
  EXPECT_EQ(Of(COBMSG_S2C_VIDEO_READY(L"i")), Hex("25 00 00 00 02 00 00 00 69 00"));
  EXPECT_EQ(Of(COBMSG_S2C_VIDEO_IM(L"a", L"", L"t")),
            Hex("29 00 00 00 02 00 00 00 61 00 00 00 00 00 02 00 00 00 74 00"));
  EXPECT_EQ(Of(COBMSG_S2C_VIDEO_INVITE_REPLYED(L"i")), Hex("2a 00 00 00 02 00 00 00 69 00"));
  EXPECT_EQ(Of(COBMSG_S2C_VEDIO_ERROR(5, L"i")), Hex("2b 00 00 00 05 00 00 00 02 00 00 00 69 00"));
}

TEST(S2CMessagesTest, FriendListWithNoneAndWithTwoEntries) {
  EXPECT_EQ(Of(COBMSG_S2C_FRIEND_ONLINE(0, 1, {})),
            Hex("1c 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
  std::vector<FriendOnlineEntry> two{{L"a", L"A", L""}, {L"b", L"B", L"/h.png"}};
  EXPECT_EQ(
      Of(COBMSG_S2C_FRIEND_ONLINE(7, 0, two)),
      Hex("1c 00 00 00 07 00 00 00 00 00 00 00 02 00 00 00"
          "02 00 00 00 61 00 02 00 00 00 41 00 00 00 00 00"
          "02 00 00 00 62 00 02 00 00 00 42 00 0c 00 00 00 2f 00 68 00 2e 00 70 00 6e 00 67 00"));
}

TEST(S2CMessagesTest, VideoFrameIsWrittenInOnePieceBeforeTheInvitation) {
  const uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(
      Of(COBMSG_S2C_VEDIO_STREAM(true, 25, 2, 1, pixels, 6, L"i")),
      Hex("27 00 00 00 01 19 00 02 00 01 00 06 00 00 00 01 02 03 04 05 06 02 00 00 00 69 00"));
  std::vector<uint8_t> frame(640 * 480 * 3, 0x5a);
  COBMSG_S2C_VEDIO_STREAM big(false, 25, 640, 480, frame.data(),
                              static_cast<uint32_t>(frame.size()), L"x");
  ASSERT_EQ(big.size(), 4u + 7 + 4 + frame.size() + 4 + 2);
  EXPECT_EQ(big.data()[15], 0x5a);
  EXPECT_EQ(big.data()[15 + frame.size() - 1], 0x5a);
  EXPECT_EQ(big.data()[15 + frame.size()], 2);  // the invitation's count follows the frame
}

// Counts what would go to the pipe.
class CountingQueue : public brx::io::IOStreamMessageQueue {
 public:
  int sent = 0;
  void NotifyBatch() override {}
  brx::io::ReassemblyBuffer* GetReassemblyBuffer(brx::io::ConnectionId) override { return nullptr; }
  bool Send(brx::io::ConnectionId, const uint8_t*, uint32_t, const uint8_t*, uint32_t) override {
    ++sent;
    return true;
  }

 protected:
  void OnMessage(const brx::io::QueuedMessage&) override {}
};

TEST(S2CMessagesTest, VideoFrameWhoseByteCountIsNotWidthTimesHeightTimesThreeIsRefused) {
  const uint8_t pixels[7] = {1, 2, 3, 4, 5, 6, 7};
  CountingQueue queue;
  COBMSG_S2C_VEDIO_STREAM whole(false, 25, 2, 1, pixels, 6, L"i");
  EXPECT_FALSE(whole.refused());
  EXPECT_EQ(WriteFramedMessage(whole, queue, 1), whole.size());
  EXPECT_EQ(queue.sent, 1);
  COBMSG_S2C_VEDIO_STREAM empty(false, 25, 0, 0, nullptr, 0, L"i");
  EXPECT_FALSE(empty.refused());
  // Short, long, missing, and a size whose product does not fit 32 bits.
  COBMSG_S2C_VEDIO_STREAM short_frame(false, 25, 2, 1, pixels, 5, L"i");
  COBMSG_S2C_VEDIO_STREAM long_frame(false, 25, 2, 1, pixels, 7, L"i");
  COBMSG_S2C_VEDIO_STREAM missing(false, 25, 2, 1, nullptr, 6, L"i");
  COBMSG_S2C_VEDIO_STREAM huge(false, 25, 65535, 65535, pixels,
                               static_cast<uint32_t>(65535ull * 65535 * 3), L"i");
  for (const COBMSG_S2C_VEDIO_STREAM* m : {&short_frame, &long_frame, &missing, &huge}) {
    EXPECT_TRUE(m->refused());
    EXPECT_EQ(WriteFramedMessage(*m, queue, 1), 0u);
  }
  EXPECT_EQ(queue.sent, 1);
  // Other messages are never refused.
  EXPECT_FALSE(COBMSG_S2C_WELCOME().refused());
}

TEST(S2CMessagesTest, TextsAreCutToCapacityMinusOneUnits) {
  // The empty text is exactly four zero bytes.
  EXPECT_EQ(Of(COBMSG_S2C_SERVERTIME(L"")), Hex("17 00 00 00 00 00 00 00"));
  // 200 characters into str(128): 127 travel.
  COBMSG_S2C_SERVERTIME long_text(std::wstring(200, L'x'));
  ASSERT_EQ(long_text.size(), 4u + 4 + 254);
  EXPECT_EQ(Bytes(long_text.data() + 4, long_text.data() + 8), Hex("fe 00 00 00"));
  // str(16) keeps 15 units.
  GameConfigValues v;
  v.one_shot_key = L"ABCDEFGHIJKLMNOPQRST";
  COBMSG_S2C_GAMECONFIG g(v);
  EXPECT_EQ(Bytes(g.data() + 21, g.data() + 25), Hex("1e 00 00 00"));
}

TEST(S2CMessagesTest, SurrogatePairsTravelWholeAndAreNeverSplitAtTheCut) {
  // U+1F600 is the pair D83D DE00.
  EXPECT_EQ(Of(COBMSG_S2C_SERVERTIME(L"a\U0001F600")),
            Hex("17 00 00 00 06 00 00 00 61 00 3d d8 00 de"));
  // 126 units of 'x' then a pair: the cut at 127 units would split it, so
  // only the 126 units go.
  COBMSG_S2C_SERVERTIME at_cut(std::wstring(126, L'x') + L"\U0001F600");
  EXPECT_EQ(Bytes(at_cut.data() + 4, at_cut.data() + 8), Hex("fc 00 00 00"));
  // 125 units and the pair fit exactly in 127.
  COBMSG_S2C_SERVERTIME fits(std::wstring(125, L'x') + L"\U0001F600");
  EXPECT_EQ(Bytes(fits.data() + 4, fits.data() + 8), Hex("fe 00 00 00"));
  EXPECT_EQ(Bytes(fits.data() + fits.size() - 4, fits.data() + fits.size()), Hex("3d d8 00 de"));
}

}  // namespace
