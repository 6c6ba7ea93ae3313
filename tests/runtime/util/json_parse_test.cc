#include "runtime/util/json_parse.h"

#include <gtest/gtest.h>
#include <json/json.h>

namespace brx::util {
namespace {

TEST(ParseUntrustedJsonTest, NestingPastTheLimitIsNotJsonAndLeavesNothingHalfRead) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  Json::Value root("stale");
  std::string errors;
  EXPECT_FALSE(ParseUntrustedJson(nested(kMaxJsonDepth + 1), &root, &errors));
  EXPECT_FALSE(errors.empty());
  EXPECT_TRUE(root.isNull());
  EXPECT_TRUE(ParseUntrustedJson(nested(kMaxJsonDepth - 1), &root)) << errors;
}

}  // namespace
}  // namespace brx::util
