#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "launcher/download_progress_tip.h"
#include "launcher/extract_7z.h"
#include "launcher/ombrix_app.h"
#include "launcher/tray_icon.h"
#include "launcher/version_manifest.h"
#include "runtime/base/thread_message_queue.h"
#include "tests/launcher/patch_archive.h"
#include "tests/support/web_standin.h"

namespace {

using Kind = ManifestDecision::Kind;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;

TEST(VersionManifestTest, EntryAndMirrorsFollowTheSiblingRules) {
  // The entry may follow siblings of any name; mirrors are any following
  // sibling with a name, whatever the element is called.
  const std::string xml =
      "<root><other name=\"K\" version=\"0\"/><key name=\"A\" version=\"1\"/><note/>"
      "<anything name=\"K\" version=\"2.0\"><url name=\"m1\"/><skip/><mirror "
      "name=\"m2\"/></anything>"
      "<key name=\"K\" version=\"3.0\"><url name=\"late\"/></key></root>";
  ManifestDecision d = ReadVersionManifest(xml, "K", "1.0");
  EXPECT_EQ(d.kind, Kind::kUpdate);
  EXPECT_EQ(d.version, "2.0");
  EXPECT_EQ(d.mirrors, (std::vector<std::string>{"m1", "m2"}));

  EXPECT_EQ(ReadVersionManifest(xml, "K", "2.0").kind, Kind::kNoUpdate);  // same version
  EXPECT_EQ(ReadVersionManifest(xml, "K", "9.0").kind, Kind::kUpdate);  // an older one installs too
  EXPECT_EQ(ReadVersionManifest(xml, "Z", "1.0").kind, Kind::kNoUpdate);
  EXPECT_EQ(ReadVersionManifest("<root><key name=\"K\"/></root>", "K", "1").kind, Kind::kNoUpdate);
  EXPECT_EQ(ReadVersionManifest("<root><key name=\"K\" version=\"2\"/></root>", "K", "1").kind,
            Kind::kNoMirror);
  EXPECT_EQ(ReadVersionManifest("<top><key name=\"K\" version=\"2\"/></top>", "K", "1").kind,
            Kind::kNoRoot);
  EXPECT_EQ(ReadVersionManifest("<root><key", "K", "1").kind, Kind::kNotXml);

  EXPECT_EQ(ChooseMirror({"a", "b", "c"}, 7), "b?tick=7");
  EXPECT_EQ(ChooseMirror({"http://h/p.7z?x=1"}, 5), "http://h/p.7z?x=1&tick=5");
}

TEST(DownloadProgressTipTest, ChangesOncePerSecondAndNeverDividesByZeroOrGoesNegative) {
  DownloadProgressTip tip;
  std::wstring text;
  EXPECT_FALSE(tip.Update(0, 1000, 5000, &text));  // the baseline
  EXPECT_FALSE(tip.Update(300, 1000, 5400, &text));
  EXPECT_FALSE(tip.Update(600, 1000, 5999, &text));
  ASSERT_TRUE(tip.Update(500000, 1000000, 6000, &text));
  EXPECT_EQ(text, L"翎岚下载中...50%[500KB/s]");
  EXPECT_FALSE(tip.Update(600000, 1000000, 6500, &text));
  // A server that sends no length: no percentage, no crash.
  ASSERT_TRUE(tip.Update(2500000, 0, 8000, &text));
  EXPECT_EQ(text, L"翎岚下载中...[1000KB/s]");
  // The next download starts from zero: a new baseline, not a negative speed.
  EXPECT_FALSE(tip.Update(1000, 4000000000ull, 9500, &text));
  ASSERT_TRUE(tip.Update(4000000000ull, 4000000000ull, 10500, &text));
  EXPECT_EQ(text, L"翎岚下载中...100%[3999999KB/s]");
}

TEST(Extract7zTest, NamesAreKeptBelowTheTarget) {
  EXPECT_EQ(SafeEntryPath("a\\b.dll"), "a/b.dll");
  EXPECT_EQ(SafeEntryPath("./a//b.dll"), "a/b.dll");
  for (const std::string& bad :
       {std::string(""), std::string("/etc/x"), std::string("\\x"), std::string("C:x"),
        std::string("a/../../x"), std::string(".."), std::string("a\nb"), std::string(300, 'n')})
    EXPECT_EQ(SafeEntryPath(bad), "") << bad;

  TempDir dir;
  PatchArchive good(dir.Sub("good.7z"));
  good.Add("a\\b.dll", "backslash");
  good.Add("ro.txt", "read-only", 0444);
  ASSERT_TRUE(good.MakeWithLibarchive());
  ASSERT_TRUE(Extract7z(nullptr, dir.Sub("good.7z"), dir.Sub("out")));
  EXPECT_EQ(ombrix::test::ReadFile(dir.Sub("out/a/b.dll")), "backslash");
  EXPECT_EQ(std::filesystem::status(dir.Sub("out/ro.txt")).permissions() &
                std::filesystem::perms::owner_write,
            std::filesystem::perms::none);

  PatchArchive long_name(dir.Sub("long.7z"));
  long_name.Add("ok.txt", "first");
  long_name.Add("dir/" + std::string(300, 'n'), "too long");
  ASSERT_TRUE(long_name.MakeWithLibarchive());
  EXPECT_FALSE(Extract7z(nullptr, dir.Sub("long.7z"), dir.Sub("out2")));
  EXPECT_FALSE(Extract7z(nullptr, dir.Sub("missing.7z"), dir.Sub("out3")));
}

// A patch can hold far more than it weighs: what it unpacks to is bounded
// in bytes and in files, and extraction stops at the bound.
TEST(Extract7zTest, UnpackingStopsAtItsBounds) {
  TempDir dir;
  PatchArchive many(dir.Sub("many.7z"));
  for (const char* name : {"1.txt", "2.txt", "3.txt"}) many.Add(name, name);
  ASSERT_TRUE(many.MakeWithLibarchive());
  PatchArchive big(dir.Sub("big.7z"));
  big.Add("zeros.bin", std::string(8 << 20, '\0'));
  ASSERT_TRUE(big.MakeWithLibarchive());
  struct Listener : IExtractListener {
    void OnEntry(int, int, const std::string&) override {}
    void OnError(int, int error, const std::string&) override { code = error; }
    int code = 0;
  };

  Listener count_listener, size_listener;
  EXPECT_TRUE(Extract7z(nullptr, dir.Sub("many.7z"), dir.Sub("ok"), ExtractLimits{1 << 20, 3}));
  EXPECT_FALSE(
      Extract7z(&count_listener, dir.Sub("many.7z"), dir.Sub("count"), ExtractLimits{1 << 20, 2}));
  EXPECT_EQ(count_listener.code, kExtractErrorTooLarge);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("count/3.txt")));
  EXPECT_FALSE(
      Extract7z(&size_listener, dir.Sub("big.7z"), dir.Sub("size"), ExtractLimits{1 << 20, 10}));
  EXPECT_EQ(size_listener.code, kExtractErrorTooLarge);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("size/zeros.bin")));
}

// The patch download's cap holds against a server that sends half the
// archive and then nothing: time is moved on, not waited for.
TEST(OmbrixAppTest, AStalledPatchDownloadIsAbortedAtItsCap) {
  TempDir dir;
  std::filesystem::create_directories(dir.Sub("static/m"));
  std::filesystem::create_directories(dir.Sub("program"));
  PatchArchive patch(dir.Sub("static/m/patch.7z"));
  patch.Add("a.txt", std::string(200000, 'x'));
  ASSERT_TRUE(patch.MakeWithLibarchive());
  ombrix::test::WebStandin::Options options;
  options.demo_user = false;
  options.extra_args = {"--static-dir", dir.Sub("static")};
  ombrix::test::WebStandin web(options);
  ASSERT_TRUE(web.running());
  ombrix::test::WriteFile(dir.Sub("static/version.xml"),
                          "<root><key name=\"K\" version=\"2\"><url name=\"" + web.base_url() +
                              "/m/patch.7z\"/></key></root>");
  web.Fault("path=/m/patch.7z&mode=stall&hold_ms=60000");

  LauncherConfig config;
  config.program_folder = dir.Sub("program");
  config.temp_folder = dir.path();
  config.manifest_url = web.base_url() + "/version.xml";
  config.data_collect_base = web.base_url();
  brx::platform::ManualTickClock clock(1000);
  RecordingTrayIcon tray;
  brx::base::ThreadMessageQueue queue;
  UpdateOutcome outcome;
  auto start = std::chrono::steady_clock::now();
  {
    COmbrixApp app(config, {"K", "1"}, &tray, clock);
    std::thread mover([&] {
      // Only once the patch is on its way does its clock run out.
      if (WaitUntil([&] { return app.phase() == IUpdateHost::kPatch; }))
        clock.Advance(kPatchDownloadCapMs + 1);
    });
    app.Run();
    mover.join();
    outcome = app.TakeOutcome();
    EXPECT_EQ(app.phase(), IUpdateHost::kPatch);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_FALSE(outcome.processed);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("program/patch/patch.7z")));
  ASSERT_TRUE(web.WaitForRequests("/news.ashx", 1));
  EXPECT_EQ(web.RequestsTo("/news.ashx").size(), 1u);  // the start report only
  EXPECT_EQ(tray.tip(), L"翎岚准备下载...");
}

}  // namespace
