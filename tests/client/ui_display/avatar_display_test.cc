// The avatar editor in the real web engine against the web stand-in: the
// page asks for the key, crops a picture, uploads it in three sizes and
// reports the addresses; a second user gets their own key; the page's
// close hides the editor. Pictures of the editor are left for review.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/ui/avatar/avatar_request.h"
#include "client/ui/avatar/avatar_upload_address.h"
#include "client/ui/avatar/ob_update_user_image_dlg.h"
#include "client/web/web_logic_manager.h"
#include "runtime/base/thread.h"
#include "runtime/http/download_to_file.h"
#include "runtime/http/http_session.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"
#include "uilib/testing/gtk_testing.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/browser_host.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

namespace ombrix::test {
namespace {

bool RunUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    uilib::gtk_testing::Iterate(10);
    uilib::PumpPendingMessages();
  }
  return true;
}

// The real browser with the page's traffic both ways written down.
class RecordingBrowser : public uilib::BrowserHost, public uilib::ExternalHandler {
 public:
  explicit RecordingBrowser(std::unique_ptr<uilib::BrowserHost> real) : real_(std::move(real)) {}
  void Navigate(const std::wstring& url) override { real_->Navigate(url); }
  std::wstring LocationName() const override { return real_->LocationName(); }
  std::wstring CurrentUrl() const override { return real_->CurrentUrl(); }
  bool IsLoadComplete() const override { return real_->IsLoadComplete(); }
  bool CallFunction(const std::string& name, const std::vector<std::wstring>& args,
                    std::function<void(uilib::PageCallResult)> done) override {
    if (name == "CallFunction") calls_in.push_back(args.at(0));
    return real_->CallFunction(name, args, [this, done](uilib::PageCallResult result) {
      ++answers;
      if (result != uilib::PageCallResult::kCalled) ++missing;
      if (done) done(result);
    });
  }
  void SetExternalAccess(uilib::ExternalHandler* handler, uilib::ExternalAccess access) override {
    client_ = handler;
    real_->SetExternalAccess(handler ? this : nullptr, std::move(access));
  }
  void SetNavigationPolicy(std::vector<std::string> stay,
                           std::function<void(const std::string&)> open_elsewhere) override {
    real_->SetNavigationPolicy(std::move(stay), std::move(open_elsewhere));
  }
  void SetRect(const uilib::RECT& rect) override { real_->SetRect(rect); }
  void SetVisible(bool visible) override { real_->SetVisible(visible); }
  void Close() override { real_->Close(); }
  std::vector<std::string> ExternalMethodNames() const override {
    return client_->ExternalMethodNames();
  }
  void OnExternalCall(const std::string& name, const std::vector<std::wstring>& args) override {
    if (name == "MovieCall" && args.size() == 1) requests.push_back(ParseAvatarRequest(args[0]));
    client_->OnExternalCall(name, args);
  }
  size_t Count(AvatarRequest::Kind kind) const {
    size_t n = 0;
    for (const auto& r : requests) n += r.kind == kind;
    return n;
  }
  // Calls a page function and waits for the page to have run it.
  bool Run(const std::string& name, const std::vector<std::wstring>& args) {
    int before = answers;
    int missing_before = missing;
    if (!CallFunction(name, args, nullptr)) return false;
    return RunUntil([&] { return answers > before; }) && missing == missing_before;
  }
  std::vector<std::wstring> calls_in;
  std::vector<AvatarRequest> requests;
  int answers = 0;
  int missing = 0;

 private:
  std::unique_ptr<uilib::BrowserHost> real_;
  uilib::ExternalHandler* client_ = nullptr;
};

class OwnerWindow : public uilib::CWindowWnd {
 public:
  uilib::LPCTSTR GetWindowClassName() const override { return L"OBAvatarDisplayOwner"; }
};

struct HeadImages : AvatarEditorHost {
  std::vector<std::wstring> sent;
  void UpdateUserHeadImage(const std::wstring& url) override { sent.push_back(url); }
};

std::string Post(const WebStandin& s, const std::string& path_and_query) {
  brx::http::HttpSession session;
  if (!session.Open(s.base_url() + path_and_query) || !session.SendRequest(nullptr, 0)) return "";
  return session.body();
}

Json::Value Parse(const std::string& text) {
  Json::Value v;
  Json::Reader().parse(text, v);
  return v;
}

// The key the service hands the signed-in `account`.
std::wstring KeyOf(const WebStandin& s, const std::string& account, const std::string& password) {
  Json::Value login =
      Parse(Post(s, "/ClientInterface.axd?CommandName=UserLogin&Account=" + account +
                        "&Password=" + password + "&PaswordType=simple&RequireCipher=false"));
  Json::Value key =
      Parse(Post(s, "/ClientInterface.axd?CommandName=GetCurrentUserQtidByEncrypt&SessionId=" +
                        login["Data"]["SessionID"].asString()));
  return brx::util::Utf8ToWide(key["Data"].asString());
}

// A 400 x 200 picture: green bands at both ends, red then blue between;
// its middle square holds no green.
std::wstring StripedPictureDataUrl() {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 400, 200);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 400; ++x) {
      guchar* p = pixels + y * stride + x * 3;
      bool green = x < 100 || x >= 300;
      p[0] = !green && x < 200 ? 230 : 0;
      p[1] = green ? 200 : 0;
      p[2] = !green && x >= 200 ? 230 : 0;
    }
  }
  gchar* buffer = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  gchar* base64 = g_base64_encode(reinterpret_cast<const guchar*>(buffer), size);
  std::wstring url = L"data:image/png;base64," + brx::util::Utf8ToWide(base64);
  g_free(base64);
  g_free(buffer);
  return url;
}

struct Rgb {
  int r, g, b;
};

struct Picture {
  int w = 0, h = 0;
  std::vector<Rgb> px;
  Rgb At(int x, int y) const { return px[static_cast<size_t>(y * w + x)]; }
};

bool LoadPicture(const std::string& path, Picture* out) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
  if (pixbuf == nullptr) return false;
  out->w = gdk_pixbuf_get_width(pixbuf);
  out->h = gdk_pixbuf_get_height(pixbuf);
  int n = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < out->h; ++y)
    for (int x = 0; x < out->w; ++x) {
      const guchar* p = pixels + y * stride + x * n;
      out->px.push_back({p[0], p[1], p[2]});
    }
  g_object_unref(pixbuf);
  return true;
}

void Shoot(uilib::HWND hwnd, const std::string& name) {
  uilib::RECT r{};
  uilib::GetWindowRect(hwnd, &r);
  std::string out = BinaryDir() + "/test-output/avatar-display";
  std::filesystem::create_directories(out);
  std::string png = out + "/" + name;
  std::string command = "import -window root -crop " + std::to_string(r.right - r.left) + "x" +
                        std::to_string(r.bottom - r.top) + "+" + std::to_string(r.left) + "+" +
                        std::to_string(r.top) + " '" + png + "' 2>/dev/null";
  if (std::system(command.c_str()) == 0) {
    EXPECT_TRUE(PathExists(png));
  }
}

std::vector<Json::Value> HeadUploads(WebStandin& s, const std::string& account) {
  std::vector<Json::Value> out;
  const Json::Value state = Parse(s.Control("state"));
  for (const Json::Value& u : state["head_uploads"])
    if (u["Account"].asString() == account) out.push_back(u);
  return out;
}

// The editor on the installed page, uploading to `web`, its browser
// recorded into `*page` once made.
std::unique_ptr<COBUpdateUserImageDlg> MakeEditor(uilib::HWND owner, const std::wstring& upload_url,
                                                  HeadImages* heads, RecordingBrowser** page) {
  COBUpdateUserImageDlg::Setup setup;
  setup.host = heads;
  setup.browser_factory = [page](uilib::HWND host,
                                 const uilib::RECT& rect) -> std::unique_ptr<uilib::BrowserHost> {
    auto real = uilib::CreateBrowserHost(host, rect);
    if (!real) return nullptr;
    auto recording = std::make_unique<RecordingBrowser>(std::move(real));
    *page = recording.get();
    return recording;
  };
  setup.program_dir = brx::util::Utf8ToWide(DistDir());
  setup.game_id = L"other";
  setup.upload_url = upload_url;
  return std::make_unique<COBUpdateUserImageDlg>(owner, std::move(setup));
}

std::unique_ptr<COBUpdateUserImageDlg> MakeEditor(uilib::HWND owner, const WebStandin& web,
                                                  HeadImages* heads, RecordingBrowser** page) {
  return MakeEditor(owner, brx::util::Utf8ToWide(web.base_url() + "/UploadHeadImage.axd"), heads,
                    page);
}

// The editor over an owner window, shown at (40, 40) with its page ready
// for the user of `key`.
struct ShownEditor {
  bool Show(const std::wstring& upload_url, const std::wstring& key) {
    owner.Create(0, L"owner", uilib::WS_POPUP, 0, 5, 5, 520, 440);
    editor = MakeEditor(owner, upload_url, &heads, &page);
    return editor->ShowAt({40, 40, 560, 480}, key) &&
           RunUntil([&] { return page != nullptr && page->LocationName() == L"更换头像 - ready"; });
  }
  OwnerWindow owner;
  HeadImages heads;
  RecordingBrowser* page = nullptr;
  std::unique_ptr<COBUpdateUserImageDlg> editor;
};

TEST(AvatarDisplayTest, PickCropUploadAndCloseInTheRealPage) {
  WebStandin web;
  ASSERT_TRUE(web.running());
  web.Control("user", "account=second&password=pw2");
  const std::wstring demo_key = KeyOf(web, "demo", "ombrix2024");
  const std::wstring second_key = KeyOf(web, "second", "pw2");
  ASSERT_FALSE(demo_key.empty());
  ASSERT_NE(demo_key, second_key);
  ASSERT_TRUE(PathExists(DistDir() + "/OBPaint/other/AvatarEditor.html"));

  OwnerWindow owner;
  owner.Create(0, L"owner", uilib::WS_POPUP, 0, 5, 5, 520, 440);
  HeadImages heads;
  RecordingBrowser* page = nullptr;
  auto editor = MakeEditor(owner, web, &heads, &page);
  const uilib::RECT at{40, 40, 560, 480};

  // Ready, and the key back: the page says it holds it.
  ASSERT_TRUE(editor->ShowAt(at, demo_key));
  ASSERT_NE(nullptr, page);
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - ready"; }))
      << brx::util::WideToUtf8(page->LocationName());
  EXPECT_EQ(1u, page->Count(AvatarRequest::Kind::kReady));
  EXPECT_EQ(std::vector<std::wstring>{AvatarKeyCall(demo_key)}, page->calls_in);

  // A picture, cropped to its middle square and uploaded in three sizes.
  ASSERT_TRUE(page->Run("OpenPictureData", {StripedPictureDataUrl()}));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - picked"; }));
  uilib::gtk_testing::Iterate(300);  // let it paint for the picture
  Shoot(*editor, "avatar-editor.png");
  ASSERT_TRUE(page->Run("UploadPicture", {}));
  ASSERT_TRUE(RunUntil([&] { return heads.sent.size() == 1; }))
      << brx::util::WideToUtf8(page->LocationName());
  EXPECT_FALSE(uilib::IsWindowVisible(*editor));
  std::vector<Json::Value> got = HeadUploads(web, "demo");
  ASSERT_EQ(3u, got.size());
  std::wstring expected;
  const char* sizes[] = {"small", "mid", "big"};
  const int sides[] = {50, 100, 180};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sizes[i], got[i]["Size"].asString());
    EXPECT_EQ(sides[i], got[i]["Width"].asInt());
    EXPECT_EQ(sides[i], got[i]["Height"].asInt());
    expected += (i ? L"," : L"") + brx::util::Utf8ToWide(got[i]["Url"].asString());
  }
  EXPECT_EQ(expected, heads.sent[0]);
  Picture big;
  ASSERT_TRUE(LoadPicture(web.data_dir() + "/uploads/" + got[2]["File"].asString(), &big));
  ASSERT_EQ(180, big.w);
  int green = 0;
  for (const Rgb& p : big.px) green += p.g > 100 && p.g > p.r && p.g > p.b;
  EXPECT_EQ(0, green);  // the green ends were cropped away
  EXPECT_GT(big.At(40, 90).r, 180);
  EXPECT_LT(big.At(40, 90).b, 60);
  EXPECT_GT(big.At(140, 90).b, 180);
  EXPECT_LT(big.At(140, 90).r, 60);

  // Another user opens it: the loaded page gets their key and drops the
  // previous picture; what is uploaded now is theirs.
  ASSERT_TRUE(editor->ShowAt(at, second_key));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - ready"; }));
  EXPECT_EQ((std::vector<std::wstring>{AvatarKeyCall(demo_key), AvatarKeyCall(second_key)}),
            page->calls_in);
  EXPECT_EQ(1u, page->Count(AvatarRequest::Kind::kReady));  // the page was not reloaded
  ASSERT_TRUE(page->Run("UploadPicture", {}));              // nothing picked: nothing sent
  ASSERT_TRUE(page->Run("OpenPictureData", {StripedPictureDataUrl()}));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - picked"; }));
  // A server that fails the upload: nothing is reported, the editor stays
  // up, and the user can try again.
  web.Fault("path=/UploadHeadImage.axd&mode=http500&count=1");
  ASSERT_TRUE(page->Run("UploadPicture", {}));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - failed"; }));
  EXPECT_EQ(1u, heads.sent.size());
  EXPECT_TRUE(uilib::IsWindowVisible(*editor));
  EXPECT_EQ(0u, HeadUploads(web, "second").size());
  ASSERT_TRUE(page->Run("UploadPicture", {}));
  ASSERT_TRUE(RunUntil([&] { return heads.sent.size() == 2; }));
  EXPECT_EQ(3u, HeadUploads(web, "second").size());
  EXPECT_EQ(3u, HeadUploads(web, "demo").size());

  // The page's own close.
  ASSERT_TRUE(editor->ShowAt(at, second_key));
  ASSERT_TRUE(RunUntil([&] { return uilib::IsWindowVisible(*editor); }));
  ASSERT_TRUE(page->Run("ClosePage", {}));
  ASSERT_TRUE(RunUntil([&] { return !uilib::IsWindowVisible(*editor); }));
  EXPECT_EQ(1u, page->Count(AvatarRequest::Kind::kClose));
  EXPECT_EQ(2u, page->Count(AvatarRequest::Kind::kUpload));
  editor.reset();
}

// The editor as the client opens it: the upload address comes from the
// web stand-in's own server configuration, downloaded and read by the
// client's web logic, and the picture goes up through it.
TEST(AvatarDisplayTest, OpensAndUploadsWithTheStandInsOwnServerConfiguration) {
  WebStandin web;
  ASSERT_TRUE(web.running());
  const std::wstring key = KeyOf(web, "demo", "ombrix2024");
  TempDir program;
  ASSERT_TRUE(brx::http::DownloadToFile(web.base_url() + "/gsc", program.Sub("gsc"), {}));
  EventChain chain;
  WebLogicOptions options;
  options.program_folder = brx::util::Utf8ToWide(program.path());
  WebLogicManager manager(&chain, options);
  ASSERT_TRUE(manager.Start(brx::base::CurrentThreadId()));
  const std::wstring upload = AvatarUploadUrl(manager.ServerConfig());
  ASSERT_FALSE(upload.empty()) << "no upload address from the stand-in's configuration";

  ShownEditor shown;
  ASSERT_TRUE(shown.Show(upload, key));
  RecordingBrowser* page = shown.page;
  EXPECT_TRUE(uilib::IsWindowVisible(*shown.editor));
  uilib::gtk_testing::Iterate(300);
  Shoot(*shown.editor, "avatar-editor-standin-config.png");
  ASSERT_TRUE(page->Run("OpenPictureData", {StripedPictureDataUrl()}));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - picked"; }));
  ASSERT_TRUE(page->Run("UploadPicture", {}));
  ASSERT_TRUE(RunUntil([&] { return shown.heads.sent.size() == 1; }))
      << brx::util::WideToUtf8(page->LocationName());
  EXPECT_EQ(3u, HeadUploads(web, "demo").size());
  shown.editor.reset();
  manager.Stop();
}

// The user's own hands: a right-button drag does not reach the page, a
// left-button drag moves the square, and the upload holds what it framed.
TEST(AvatarDisplayTest, TheSquareFollowsTheLeftButtonOnly) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xdotool is not installed";
  WebStandin web;
  ASSERT_TRUE(web.running());
  const std::wstring key = KeyOf(web, "demo", "ombrix2024");
  ShownEditor shown;
  ASSERT_TRUE(shown.Show(brx::util::Utf8ToWide(web.base_url() + "/UploadHeadImage.axd"), key));
  RecordingBrowser* page = shown.page;
  HeadImages& heads = shown.heads;
  std::unique_ptr<COBUpdateUserImageDlg>& editor = shown.editor;
  ASSERT_TRUE(page->Run("OpenPictureData", {StripedPictureDataUrl()}));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - picked"; }));
  uilib::gtk_testing::Iterate(300);  // laid out before the pointer comes

  // The 400 x 200 picture fills the 300 pixel stage's width; its middle
  // square (stage 75..225) is centred at the stage's (150, 150). The stage
  // starts 17 x 15 into the page, the page 30 below the window's top.
  const int cx = 40 + 17 + 150, cy = 40 + 30 + 15 + 150;
  auto pointer = [](const std::string& args) {
    return std::system(("xdotool " + args).c_str()) == 0;
  };
  auto at = [cy](int x) { return std::to_string(x) + " " + std::to_string(cy); };
  auto big_upload = [&](size_t round, Picture* big) {
    if (!page->Run("UploadPicture", {}) || !RunUntil([&] { return heads.sent.size() == round; }))
      return false;
    std::vector<Json::Value> got = HeadUploads(web, "demo");
    if (got.size() != 3 * round) return false;
    return LoadPicture(web.data_dir() + "/uploads/" + got[3 * round - 1]["File"].asString(), big) &&
           big->w == 180;
  };
  auto count = [](const Picture& p, int Rgb::*channel) {
    int n = 0;
    for (const Rgb& c : p.px)
      n += c.*channel > 100 && c.*channel >= c.r && c.*channel >= c.g && c.*channel >= c.b;
    return n;
  };

  // A right-button drag, then a left click where the pointer ended: the
  // square stays in the middle (the click only tells that the page has
  // had the pointer's events).
  ASSERT_TRUE(pointer("mousemove " + at(cx) + " mousedown 3 mousemove " + at(cx + 25) +
                      " mousemove " + at(cx + 50) + " mouseup 3 mousedown 1 mouseup 1"));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - cropped"; }));
  Picture middle;
  ASSERT_TRUE(big_upload(1, &middle));
  EXPECT_EQ(0, count(middle, &Rgb::g));
  EXPECT_GT(middle.At(40, 90).r, 180);
  EXPECT_GT(middle.At(140, 90).b, 180);

  // A left-button drag to the left end.
  ASSERT_TRUE(editor->ShowAt({40, 40, 560, 480}, key));
  ASSERT_TRUE(page->Run("OpenPictureData", {StripedPictureDataUrl()}));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - picked"; }));
  uilib::gtk_testing::Iterate(300);
  ASSERT_TRUE(pointer("mousemove " + at(cx) + " mousedown 1 mousemove " + at(cx - 50) +
                      " mousemove " + at(cx - 100) + " mouseup 1"));
  ASSERT_TRUE(RunUntil([&] { return page->LocationName() == L"更换头像 - cropped"; }));
  uilib::gtk_testing::Iterate(200);
  Shoot(*editor, "avatar-editor-cropped.png");
  Picture left;
  ASSERT_TRUE(big_upload(2, &left));
  EXPECT_EQ(0, count(left, &Rgb::b));
  EXPECT_GT(left.At(40, 90).g, 150);
  EXPECT_GT(left.At(140, 90).r, 180);
  editor.reset();
}

}  // namespace
}  // namespace ombrix::test
