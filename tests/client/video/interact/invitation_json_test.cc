#include "client/video/interact/invitation_json.h"

#include <gtest/gtest.h>

namespace ombrix::video {
namespace {

// The invitation comes from another user: nesting past the reader's limit
// is a refused invitation, never an exception that ends the client.
TEST(InvitationJsonTest, ReadsTheSenderAndRefusesWhatIsNotAPlainObject) {
  InvitationFields fields;
  std::string error;
  ASSERT_TRUE(ParseInvitationJson(LR"({"type":"video","video_type":"webm","sender":"buddy"})",
                                  &fields, &error));
  EXPECT_EQ(fields.sender, L"buddy");

  for (size_t depth : {1001u, 100000u}) {
    std::wstring deep = L"{\"a\":" + std::wstring(depth, L'[') + std::wstring(depth, L']') + L"}";
    EXPECT_FALSE(ParseInvitationJson(deep, &fields, &error)) << depth;
  }
  EXPECT_FALSE(ParseInvitationJson(L"[1]", &fields, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace ombrix::video
