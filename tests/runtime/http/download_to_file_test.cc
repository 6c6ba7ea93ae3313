#include "runtime/http/download_to_file.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "tests/support/web_standin.h"

namespace brx::http {
namespace {

using ombrix::test::ReadFile;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;
using ombrix::test::WriteFile;

class DownloadToFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standin_.running());
    target_ = dir_.Sub("gsc");
    WriteFile(target_, "good old file");
  }
  // Nothing but the target is left in the folder.
  void ExpectNoLeftovers() {
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      (void)e;
      ++entries;
    }
    EXPECT_EQ(entries, 1u);
  }
  WebStandin standin_;
  TempDir dir_;
  std::string target_;
};

TEST_F(DownloadToFileTest, ReplacesTheTargetAndReportsProgress) {
  uint64_t last = 0;
  int calls = 0;
  DownloadOptions options;
  options.progress = [&](uint64_t received, uint64_t) {
    last = received;
    ++calls;
    return true;
  };
  DownloadResult result;
  ASSERT_TRUE(
      DownloadToFile(standin_.base_url() + "/gsc?random_ticket=5", target_, options, &result));
  EXPECT_EQ(result.error, 0);
  EXPECT_EQ(result.http_status, 200);
  std::string text = ReadFile(target_);
  EXPECT_NE(text.find("<ClientInterfaceServer><Rule><Server>" + standin_.host()), std::string::npos)
      << text;
  EXPECT_GT(calls, 0);
  EXPECT_EQ(last, text.size());
  auto r = standin_.RequestsTo("/gsc").at(0);
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.Param("random_ticket"), "5");
  ExpectNoLeftovers();
}

TEST_F(DownloadToFileTest, AnAddressWithABlankOrRawUtf8IsEscapedAsABrowserWould) {
  DownloadResult result;
  ASSERT_TRUE(DownloadToFile(standin_.base_url() + "/head/my friend \xe4\xb8\xad.jpg", target_, {},
                             &result))
      << result.error;
  EXPECT_NE(ReadFile(target_).find("my%20friend%20%E4%B8%AD.jpg"), std::string::npos)
      << ReadFile(target_);
  EXPECT_EQ(standin_.RequestsTo("/head/my%20friend%20%E4%B8%AD.jpg").size(), 1u);
}

TEST_F(DownloadToFileTest, AFailedDownloadNeverTouchesTheGoodFile) {
  DownloadResult result;
  EXPECT_FALSE(DownloadToFile(standin_.base_url() + "/missing", target_, {}, &result));
  EXPECT_EQ(result.error, CURLE_HTTP_RETURNED_ERROR);
  EXPECT_EQ(result.http_status, 404);

  standin_.Fault("path=/gsc&mode=http500&body=oops");
  EXPECT_FALSE(DownloadToFile(standin_.base_url() + "/gsc", target_, {}, &result));
  EXPECT_EQ(result.http_status, 500);

  standin_.Fault("path=/gsc&mode=drop");
  EXPECT_FALSE(DownloadToFile(standin_.base_url() + "/gsc", target_, {}, &result));

  standin_.Fault("path=/gsc&mode=timeout&hold_ms=20000");
  DownloadOptions quick;
  quick.limits.idle_ms = 300;
  EXPECT_FALSE(DownloadToFile(standin_.base_url() + "/gsc", target_, quick, &result));
  EXPECT_EQ(result.error, CURLE_OPERATION_TIMEDOUT);

  DownloadOptions refuse;
  refuse.progress = [](uint64_t, uint64_t) { return false; };
  EXPECT_FALSE(DownloadToFile(standin_.base_url() + "/gsc", target_, refuse, &result));
  EXPECT_EQ(result.error, CURLE_ABORTED_BY_CALLBACK);

  EXPECT_FALSE(
      DownloadToFile(standin_.base_url() + "/gsc", dir_.Sub("no/such/folder/gsc"), {}, &result));
  EXPECT_FALSE(DownloadToFile("file:///etc/passwd", target_, {}, &result));

  EXPECT_EQ(ReadFile(target_), "good old file");
  ExpectNoLeftovers();
}

TEST_F(DownloadToFileTest, AnAbortSignalStopsAHangingDownloadAtOnce) {
  standin_.Fault("path=/gsc&mode=timeout&hold_ms=30000");
  std::atomic<bool> stop{false};
  std::atomic<bool> finished{false};
  bool ok = true;
  std::thread worker([&] {
    DownloadOptions options;
    options.abort.aborted = [&] { return stop.load(); };  // polled only: no wake fd
    ok = DownloadToFile(standin_.base_url() + "/gsc", target_, options);
    finished = true;
  });
  ASSERT_TRUE(standin_.WaitForRequests("/gsc"));
  stop = true;
  EXPECT_TRUE(WaitUntil([&] { return finished.load(); }, std::chrono::milliseconds(3000)));
  worker.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadFile(target_), "good old file");
}

}  // namespace
}  // namespace brx::http
