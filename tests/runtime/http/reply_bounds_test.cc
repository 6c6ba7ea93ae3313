// Replies have a size and transfers an end. A gzip bomb, a reply that never
// ends and one that trickles too slowly to ever go idle each fail their
// request the way a network failure does, after reading no more than their
// bound; a reply exactly at its bound still arrives whole.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "runtime/http/download_to_file.h"
#include "runtime/http/http_session.h"
#include "runtime/util/gzip.h"
#include "tests/support/web_standin.h"

namespace brx::http {
namespace {

using ombrix::test::ReadFile;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;
using ombrix::test::WriteFile;
using Clock = std::chrono::steady_clock;

// Loopback at 64 MiB/s: a client with no bound reads a never-ending reply
// until the test's own deadline, a few hundred MiB, never unbounded.
constexpr char kFastEndless[] = "mode=endless&bytes_per_s=67108864";
// 400 bytes a second in pieces every 50 ms: never idle, never done.
constexpr char kTrickle[] = "mode=endless&bytes_per_s=400";
constexpr uint64_t kMiB = 1 << 20;

class ReplyBoundsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(standin_.running()); }
  std::string Command(const std::string& name) const {
    return standin_.base_url() + "/ClientInterface.axd?CommandName=" + name + "&zip=gzip";
  }
  // A transfer without a bound ends here instead of hanging the test.
  static AbortSignal Deadline(std::chrono::seconds after) {
    auto deadline = Clock::now() + after;
    return AbortSignal{[deadline] { return Clock::now() > deadline; }, -1};
  }
  // What the `index`th endless reply got out before its client hung up.
  uint64_t EndlessSent(size_t index) {
    Json::Value state;
    EXPECT_TRUE(WaitUntil([&] {
      return Json::Reader().parse(standin_.Control("state"), state) &&
             state["endless_sent"].size() > index;
    }));
    return state["endless_sent"][static_cast<Json::ArrayIndex>(index)].asUInt64();
  }
  // Posts to `command` with the session's defaults and the gzip decoder.
  static bool Post(HttpSession* s, const std::string& url) {
    s->SetGzipDecoder(&util::InflateGzipBody);
    s->SetAbortSignal(Deadline(std::chrono::seconds(20)));
    return s->Open(url) && s->AddGzipAcceptHeader() && s->SendRequest(nullptr, 0);
  }
  WebStandin standin_;
};

TEST_F(ReplyBoundsTest, ASessionReadsNoMoreThanItsBoundAndFailsTheRequest) {
  // 256 KiB on the wire, 256 MiB inflated.
  standin_.Fault("command=UserLogin&mode=bomb");
  HttpSession bomb;
  EXPECT_FALSE(Post(&bomb, Command("UserLogin")));
  EXPECT_EQ(bomb.last_error(), CURLE_FILESIZE_EXCEEDED);
  EXPECT_TRUE(bomb.body().empty());

  standin_.Fault(std::string("command=UserLogin&") + kFastEndless);
  HttpSession endless;
  EXPECT_FALSE(Post(&endless, Command("UserLogin")));
  EXPECT_EQ(endless.last_error(), CURLE_FILESIZE_EXCEEDED);
  EXPECT_TRUE(endless.body().empty());
  // Read up to the bound, then hung up (what the sockets held aside).
  EXPECT_LT(EndlessSent(0), HttpSession::kDefaultMaxReplyBytes + 24 * kMiB);

  // A bound of the caller's: a reply announced larger fails, one exactly
  // at the bound arrives whole.
  for (size_t length : {1000u, 1001u}) {
    standin_.Fault("command=GetServerDateTime&mode=raw&encoding=none&body=" +
                   std::string(length, 'x'));
    HttpSession sized;
    sized.SetMaxReplyBytes(1000);
    bool sent = Post(&sized, Command("GetServerDateTime"));
    EXPECT_EQ(sent, length == 1000) << length;
    EXPECT_EQ(sized.body().size(), sent ? length : 0u);
    EXPECT_EQ(sized.last_error(), sent ? 0 : CURLE_FILESIZE_EXCEEDED);
  }

  // Never idle, never done: the whole request is bounded too, by default
  // by the sum of its phases' time-outs.
  standin_.Fault(std::string("command=UserLogin&") + kTrickle);
  HttpSession trickle;
  trickle.SetTimeouts(250, 250, 250, 250);
  auto start = Clock::now();
  EXPECT_FALSE(Post(&trickle, Command("UserLogin")));
  EXPECT_EQ(trickle.last_error(), CURLE_OPERATION_TIMEDOUT);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  standin_.Fault(std::string("command=UserLogin&") + kTrickle);
  HttpSession told;
  told.SetTotalTimeout(500);
  EXPECT_FALSE(Post(&told, Command("UserLogin")));
  EXPECT_EQ(told.last_error(), CURLE_OPERATION_TIMEDOUT);
}

TEST_F(ReplyBoundsTest, ADownloadStopsAtItsBoundAndItsTimeLimitAndKeepsTheGoodFile) {
  TempDir dir;
  std::string target = dir.Sub("picture.jpg");
  WriteFile(target, "good old file");
  auto download = [&](const std::string& fault, TransferLimits limits) {
    standin_.Fault("path=/head/1_big.jpg&" + fault);
    DownloadOptions options;
    options.limits = limits;
    options.abort = Deadline(std::chrono::seconds(20));
    DownloadResult result;
    EXPECT_FALSE(DownloadToFile(standin_.base_url() + "/head/1_big.jpg", target, options, &result))
        << fault;
    EXPECT_EQ(ReadFile(target), "good old file") << fault;
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      entries += entry.exists();
    EXPECT_EQ(entries, 1u) << fault;  // no partial file left beside it
    return result.error;
  };
  TransferLimits small;
  small.max_reply_bytes = 2 * kMiB;
  EXPECT_EQ(download(kFastEndless, small), CURLE_FILESIZE_EXCEEDED);
  EXPECT_LT(EndlessSent(0), small.max_reply_bytes + 24 * kMiB);
  // Announced larger than the bound: refused before the body.
  small.max_reply_bytes = 10;
  EXPECT_EQ(download("mode=raw&body=" + std::string(11, 'x'), small), CURLE_FILESIZE_EXCEEDED);

  TransferLimits slow;
  slow.idle_ms = 5000;
  slow.total_ms = 500;
  EXPECT_EQ(download(kTrickle, slow), CURLE_OPERATION_TIMEDOUT);
}

}  // namespace
}  // namespace brx::http
