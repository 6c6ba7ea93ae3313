#include "runtime/util/json_parse.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <string>

namespace brx::util {
namespace {

std::string Nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(ParseUntrustedJsonTest, NestingPastTheLimitIsNotJsonAndNeverThrows) {
  Json::Value root;
  std::string errors;
  ASSERT_TRUE(ParseUntrustedJson(Nested(kMaxJsonDepth - 1), &root, &errors)) << errors;
  EXPECT_TRUE(root.isArray());
  for (int depth : {kMaxJsonDepth + 1, 100000}) {
    root = Json::Value("stale");
    errors.clear();
    EXPECT_FALSE(ParseUntrustedJson(Nested(depth), &root, &errors)) << depth;
    EXPECT_FALSE(errors.empty());
    EXPECT_TRUE(root.isNull());  // nothing half-read is left behind
    // The same depth inside an object, cut off half way.
    EXPECT_FALSE(ParseUntrustedJson("{\"Data\":" + std::string(depth, '['), &root));
  }
  ASSERT_TRUE(ParseUntrustedJson("{\"Status\":0, // comment\n\"Data\":{\"k\":[1]}}", &root));
  EXPECT_EQ(root["Data"]["k"][0].asInt(), 1);
  EXPECT_FALSE(ParseUntrustedJson("", &root));
  EXPECT_FALSE(ParseUntrustedJson("<html>", &root));
}

}  // namespace
}  // namespace brx::util
