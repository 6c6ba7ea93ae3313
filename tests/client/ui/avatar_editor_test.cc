#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/core/core_events.h"
#include "client/core/user_account_record.h"
#include "client/core/web_events.h"
#include "client/ui/avatar/avatar_request.h"
#include "client/ui/avatar/avatar_upload_address.h"
#include "client/ui/avatar/ob_update_user_image_dlg.h"
#include "client/ui/userinfo/user_info_dialog.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/web_logic_manager.h"
#include "runtime/base/thread.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/fake_browser_host.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/win_api.h"

namespace driver = uilib::test_driver;

namespace ombrix::test {
namespace {

using Kind = AvatarRequest::Kind;

std::wstring Invoke(const std::wstring& name,
                    const std::wstring& arguments = L"<arguments></arguments>") {
  return L"<invoke name=\"" + name + L"\" returntype=\"xml\">" + arguments + L"</invoke>";
}

std::wstring Upload(const std::wstring& argument) {
  return Invoke(L"CB_RoleAvatarUpload",
                L"<arguments><string>" + argument + L"</string></arguments>");
}

// The page's requests, well formed and not, and the call back into it.
TEST(AvatarRequestTest, ReadsTheThreeRequestsIgnoresEverythingElseAndEscapesTheKey) {
  EXPECT_EQ(Kind::kReady, ParseAvatarRequest(Invoke(L"CB_RoleAvatarReady")).kind);
  EXPECT_EQ(Kind::kClose, ParseAvatarRequest(Invoke(L"CB_RoleAvatarClose")).kind);
  AvatarRequest up =
      ParseAvatarRequest(Upload(L"0,png,3,http://h/s.png,http://h/m.png,http://h/b.png"));
  EXPECT_EQ(Kind::kUpload, up.kind);
  EXPECT_EQ(L"http://h/s.png,http://h/m.png,http://h/b.png", up.head_image_url);
  // Entities are the XML's, not the address's.
  EXPECT_EQ(L"http://h/p?a=1&b=2",
            ParseAvatarRequest(Upload(L"a,b,c,http://h/p?a=1&amp;b=2")).head_image_url);
  EXPECT_EQ(L"中文,,", HeadImageUrlOfUploadArgument(L",,,中文,,"));
  EXPECT_EQ(L"", HeadImageUrlOfUploadArgument(L"a,b,c"));

  // Uploads without an address: nothing to send.
  for (const std::wstring& bad :
       {Upload(L"a,b,c"), Upload(L"a,b,c,"), Upload(L""), Upload(L"no commas"),
        Invoke(L"CB_RoleAvatarUpload"), Invoke(L"CB_RoleAvatarUpload", L"")}) {
    SCOPED_TRACE(brx::util::WideToUtf8(bad));
    AvatarRequest r = ParseAvatarRequest(bad);
    EXPECT_EQ(Kind::kIgnored, r.kind);
    EXPECT_EQ(L"", r.head_image_url);
  }
  AvatarRequest other = ParseAvatarRequest(Invoke(L"CB_SomethingElse"));
  EXPECT_EQ(Kind::kIgnored, other.kind);
  EXPECT_EQ("CB_SomethingElse", other.name);

  // Not the invoke head, not XML, or built to hurt the reader.
  std::wstring deep = L"<invoke name=\"CB_RoleAvatarReady\" returntype=\"xml\">";
  for (int i = 0; i < 100000; ++i) deep += L"<a>";
  // Element names from byte 127 on, which the reader takes for letters.
  std::wstring deep_7f = L"<invoke name=\"CB_RoleAvatarReady\" returntype=\"xml\">";
  for (int i = 0; i < 100000; ++i) deep_7f += L"<\x7f>";
  std::vector<std::wstring> malformed = {
      L"",
      L"CB_RoleAvatarReady",
      L"<invoke name=\"CB_RoleAvatarReady\" returntype=\"xml\">",
      L"<invoke name=\"CB_RoleAvatarReady\"><arguments></arguments></invoke>",
      L"<invoke name=\"CB_RoleAvatarReady\" returntype=\"javascript\"></invoke>",
      L"<call name=\"CB_RoleAvatarReady\" returntype=\"xml\"></call>",
      L"<invoke returntype=\"xml\"></invoke>",
      L"<invoke name=\"CB_RoleAvatarClose\" returntype=\"xml\"><arguments></invoke>",
      L"<!-- <invoke name=\"CB_RoleAvatarClose\" returntype=\"xml\"/> -->",
      L"<!DOCTYPE x [<!ENTITY e \"CB_RoleAvatarClose\">]><invoke name=\"&e;\" returntype=\"xml\"/>",
      L"<invoke name=\"CB_RoleAvatarReady\" returntype=\"xml\"/><invoke "
      L"name=\"CB_RoleAvatarClose\"",
      std::wstring(L"<invoke name=\"CB_RoleAvatarReady\0\" returntype=\"xml\"/>", 49),
      L"<invoke name=\"CB_RoleAvatar\xD800Ready\" returntype=\"xml\"/>",
      deep,
      deep + L"</invoke>",
      deep_7f,
      L"<invoke name=\"CB_RoleAvatarReady\" returntype=\"xml\"><<!-->" +
          deep.substr(deep.find(L"<a>")),
  };
  for (const std::wstring& text : malformed) {
    SCOPED_TRACE(brx::util::WideToUtf8(text.substr(0, 80)));
    EXPECT_EQ(Kind::kIgnored, ParseAvatarRequest(text).kind);
  }

  EXPECT_EQ(
      L"<invoke name=\"CB_RoleAvatarGetId\"><arguments><string>k3y==</string></arguments></invoke>",
      AvatarKeyCall(L"k3y=="));
  EXPECT_EQ(
      L"<invoke name=\"CB_RoleAvatarGetId\"><arguments><string>a&lt;/string&gt;&amp;&quot;&apos;"
      L"</string></arguments></invoke>",
      AvatarKeyCall(L"a</string>&\"'"));
}

class OwnerWindow : public uilib::CWindowWnd {
 public:
  uilib::LPCTSTR GetWindowClassName() const override { return L"OBAvatarTestOwner"; }
};

struct RecordingEditorHost : AvatarEditorHost {
  std::vector<std::wstring> head_images;
  void UpdateUserHeadImage(const std::wstring& url) override { head_images.push_back(url); }
};

struct EditorFixture {
  TempDir dir;
  OwnerWindow owner;
  RecordingEditorHost host;
  MessageEventChain messages;
  FakeBrowserHost* page = nullptr;
  int browsers_made = 0;
  std::unique_ptr<COBUpdateUserImageDlg> editor;

  EditorFixture() {
    UseHeadlessBackend();
    owner.Create(0, L"owner", uilib::WS_POPUP, 0, 100, 100, 520, 440);
    editor = std::make_unique<COBUpdateUserImageDlg>(owner, Setup());
  }
  COBUpdateUserImageDlg::Setup Setup() {
    COBUpdateUserImageDlg::Setup s;
    s.host = &host;
    s.messages = &messages;
    s.browser_factory = [this](uilib::HWND, const uilib::RECT& rect) {
      ++browsers_made;
      auto made = std::make_unique<FakeBrowserHost>();
      made->SetRect(rect);
      page = made.get();
      return made;
    };
    s.program_dir = brx::util::Utf8ToWide(dir.path());
    s.game_id = L"other";
    s.upload_url = L"http://127.0.0.1:9/UploadHeadImage.axd";
    return s;
  }
  void WritePage() {
    std::filesystem::create_directories(dir.Sub("OBPaint/other"));
    WriteFile(dir.Sub("OBPaint/other/AvatarEditor.html"), "<html></html>");
  }
  bool Visible() const {
    return editor->GetHWND() != 0 && uilib::IsWindowVisible(editor->GetHWND());
  }
  bool MovieCall(const std::wstring& xml) { return page->SimulateExternalCall("MovieCall", {xml}); }
  std::vector<std::wstring> KeysSent() const {
    std::vector<std::wstring> out;
    for (const auto& call : page->CallsOf("CallFunction")) out.push_back(call.args.at(0));
    return out;
  }
  bool AltF4() {
    brx::base::Message msg;
    msg.hwnd = editor->GetHWND();
    msg.message = uilib::WM_SYSCOMMAND;
    msg.wParam = uilib::SC_CLOSE;
    payload::SEVENTCHAIN_MESSAGE event(&msg);
    return messages.FireEventUntilHandled(&event);
  }
};

// The editor's life as the user sees it: the page is loaded once, learns
// the key of whoever opens it, and every way of closing it hides it.
TEST(AvatarEditorTest, PageRequestsKeyPerOpenAndEveryClosePath) {
  EditorFixture f;
  const uilib::RECT at{135, 135, 655, 575};

  // No page file: nothing shown, no browser; the next open tries again.
  EXPECT_FALSE(f.editor->ShowAt(at, L"key-1"));
  EXPECT_FALSE(f.Visible());
  EXPECT_EQ(0, f.browsers_made);
  f.WritePage();
  ASSERT_TRUE(f.editor->ShowAt(at, L"key-1"));
  ASSERT_NE(nullptr, f.page);
  EXPECT_TRUE(f.Visible());
  uilib::RECT rect{};
  uilib::GetWindowRect(f.editor->GetHWND(), &rect);
  EXPECT_EQ(at, rect);
  EXPECT_EQ(L"更换头像", uilib::GetWindowText(f.editor->GetHWND()));
  auto region = uilib::GetWindowRgn(f.editor->GetHWND());
  ASSERT_TRUE(region.has_value());
  EXPECT_FALSE(region->Contains(0, 0));
  EXPECT_TRUE(region->Contains(4, 0));
  EXPECT_FALSE(region->Contains(519, 439));
  EXPECT_TRUE(region->Contains(260, 220));
  // The page sits below the drag band and is told where to upload.
  EXPECT_EQ((uilib::RECT{0, COBUpdateUserImageDlg::kDragBandHeight, 520, 440}), f.page->rect_);
  ASSERT_EQ(1u, f.page->navigations.size());
  EXPECT_EQ(brx::util::Utf8ToWide(uilib::FileUrl(f.dir.Sub("OBPaint/other/AvatarEditor.html"))) +
                L"?upload=http%3A%2F%2F127.0.0.1%3A9%2FUploadHeadImage.axd",
            f.page->navigations[0]);
  EXPECT_TRUE(f.KeysSent().empty());  // not before the page asks

  // Ready: the key goes back in the call's exact form.
  ASSERT_TRUE(f.MovieCall(Invoke(L"CB_RoleAvatarReady")));
  EXPECT_EQ(std::vector<std::wstring>{AvatarKeyCall(L"key-1")}, f.KeysSent());
  // Malformed and unknown requests and other methods change nothing.
  for (const std::wstring& text :
       {std::wstring(L"<invoke"), std::wstring(L"garbage"), Invoke(L"CB_Other"), Upload(L"1,2,3"),
        std::wstring(L"<invoke name=\"CB_RoleAvatarClose\">")}) {
    EXPECT_TRUE(f.MovieCall(text));
  }
  // A close request under 100000 levels the reader takes for elements.
  std::wstring levels;
  for (int i = 0; i < 100000; ++i) levels += L"<\x7f>";
  EXPECT_TRUE(f.MovieCall(Invoke(L"CB_RoleAvatarClose", L"<arguments></arguments>" + levels)));
  EXPECT_TRUE(f.page->SimulateExternalCall("MovieCall", {Invoke(L"CB_RoleAvatarClose"), L"extra"}));
  EXPECT_FALSE(
      f.page->SimulateExternalCall("CB_RoleAvatarClose", {}));  // not a method of the page's
  EXPECT_TRUE(f.Visible());
  EXPECT_TRUE(f.host.head_images.empty());

  // The page's own close hides it; the same key again is not resent.
  ASSERT_TRUE(f.MovieCall(Invoke(L"CB_RoleAvatarClose")));
  EXPECT_FALSE(f.Visible());
  const uilib::RECT moved{300, 200, 820, 640};
  ASSERT_TRUE(f.editor->ShowAt(moved, L"key-1"));
  EXPECT_TRUE(f.Visible());
  uilib::GetWindowRect(f.editor->GetHWND(), &rect);
  EXPECT_EQ(moved, rect);
  EXPECT_EQ(1, f.browsers_made);
  EXPECT_EQ(1u, f.page->navigations.size());  // the page stays loaded
  EXPECT_EQ(1u, f.KeysSent().size());

  // Another user signed in: the loaded page learns the new key at once,
  // escaped, and the upload is sent for it.
  ASSERT_TRUE(f.editor->ShowAt(moved, L"k<2>&"));
  ASSERT_EQ(2u, f.KeysSent().size());
  EXPECT_EQ(AvatarKeyCall(L"k<2>&"), f.KeysSent()[1]);
  EXPECT_NE(std::wstring::npos, f.KeysSent()[1].find(L"k&lt;2&gt;&amp;"));
  ASSERT_TRUE(f.MovieCall(Upload(L"0,png,3,s,m,b")));
  EXPECT_EQ(std::vector<std::wstring>{L"s,m,b"}, f.host.head_images);
  EXPECT_FALSE(f.Visible());

  // Alt+F4 and a window close hide the editor and bring the owner back;
  // a close for another window is not the editor's.
  ASSERT_TRUE(f.editor->ShowAt(moved, L"k<2>&"));
  uilib::ShowWindow(f.owner, uilib::SW_HIDE);
  brx::base::Message other;
  other.hwnd = f.owner;
  other.message = uilib::WM_SYSCOMMAND;
  other.wParam = uilib::SC_CLOSE;
  payload::SEVENTCHAIN_MESSAGE other_event(&other);
  EXPECT_FALSE(f.messages.FireEventUntilHandled(&other_event));
  EXPECT_TRUE(f.AltF4());
  EXPECT_FALSE(f.Visible());
  EXPECT_TRUE(uilib::IsWindowVisible(f.owner));
  ASSERT_TRUE(f.editor->ShowAt(moved, L"k<2>&"));
  uilib::ShowWindow(f.owner, uilib::SW_HIDE);
  uilib::SendMessage(f.editor->GetHWND(), uilib::WM_CLOSE, 0, 0);
  EXPECT_FALSE(f.Visible());
  EXPECT_TRUE(uilib::IsWindowVisible(f.owner));

  // The band at the top drags the window, except its right end, whose
  // close mark hides the editor.
  ASSERT_TRUE(f.editor->ShowAt(moved, L"k<2>&"));
  auto hit = [&](int x, int y) {
    return uilib::SendMessage(f.editor->GetHWND(), uilib::WM_NCHITTEST, 0, uilib::MAKELPARAM(x, y));
  };
  EXPECT_EQ(uilib::HTCAPTION, hit(moved.left + 10, moved.top + 10));
  EXPECT_EQ(uilib::HTCAPTION, hit(moved.right - 28, moved.top + 29));
  EXPECT_EQ(uilib::HTCLIENT, hit(moved.right - 27, moved.top + 10));
  EXPECT_EQ(uilib::HTCLIENT, hit(moved.left + 10, moved.top + 30));
  std::filesystem::create_directories(BinaryDir() + "/test-output/avatar");
  EXPECT_TRUE(uilib::HeadlessBackend::Current()->RenderWindowToPng(
      f.editor->GetHWND(), BinaryDir() + "/test-output/avatar/editor_headless.png"));
  uilib::SendMessage(f.editor->GetHWND(), uilib::WM_LBUTTONUP, 0, uilib::MAKELPARAM(520 - 10, 10));
  EXPECT_FALSE(f.Visible());

  // Going away is not closing: the owner is left hidden, the page is
  // closed, and the editor no longer takes Alt+F4.
  ASSERT_TRUE(f.editor->ShowAt(moved, L"k<2>&"));
  uilib::ShowWindow(f.owner, uilib::SW_HIDE);
  FakeBrowserHost* page = f.page;
  bool page_closed = false;
  page->on_close = [&] { page_closed = true; };
  uilib::HWND window = f.editor->GetHWND();
  f.editor.reset();
  EXPECT_TRUE(page_closed);
  EXPECT_FALSE(uilib::IsWindow(window));
  EXPECT_FALSE(uilib::IsWindowVisible(f.owner));
  EXPECT_EQ(0u, f.messages.SubscriberCount(SEVENTCHAIN_MESSAGE));
  EXPECT_EQ(std::vector<std::wstring>{L"s,m,b"}, f.host.head_images);
}

// A page outside the editor's folder gets no window.external.
TEST(AvatarEditorTest, OnlyTheEditorsOwnFolderReachesTheClient) {
  EditorFixture f;
  f.WritePage();
  ASSERT_TRUE(f.editor->ShowAt({0, 0, 520, 440}, L"key"));
  for (std::string url : {std::string("http://127.0.0.1:9/AvatarEditor.html"),
                          uilib::FileUrl(f.dir.Sub("html/Default.html")),
                          uilib::FileUrl(f.dir.Sub("OBPaint/otherx/AvatarEditor.html"))}) {
    f.page->Navigate(brx::util::Utf8ToWide(url));
    EXPECT_FALSE(f.MovieCall(Invoke(L"CB_RoleAvatarReady"))) << url;
  }
  EXPECT_TRUE(f.KeysSent().empty());
}

// The page posts beside the service's commands, on the server the
// configuration names: a host with an optional port, as the web stand-in
// serves it. A text that is not one gives no address at all.
TEST(AvatarEditorTest, TheUploadAddressIsMadeFromTheConfiguredServer) {
  TempDir program;
  EventChain chain;
  WebLogicOptions options;
  options.program_folder = brx::util::Utf8ToWide(program.path());
  WebLogicManager manager(&chain, options);
  ASSERT_TRUE(manager.Start(brx::base::CurrentThreadId()));
  OBLogicWeb_ServerConfig& config = manager.ServerConfig();
  EXPECT_EQ(L"", AvatarUploadUrl(config));  // nothing read yet
  auto with = [&](const std::string& server) {
    config.ParseServerConfig("<Node><ClientInterfaceServer><Rule><Server>" + server +
                             "</Server></Rule></ClientInterfaceServer></Node>");
    return AvatarUploadUrl(config);
  };
  EXPECT_EQ(L"http://127.0.0.1:18080/UploadHeadImage.axd", with("127.0.0.1:18080"));
  EXPECT_EQ(L"http://web.example/UploadHeadImage.axd", with("web.example/"));
  EXPECT_EQ(L"http://[::1]:8080/UploadHeadImage.axd", with("[::1]:8080"));
  EXPECT_EQ(L"", with("http://127.0.0.1:9/"));
  EXPECT_EQ(L"", with("h:1/elsewhere?x="));
  EXPECT_EQ(L"", with("user@h"));
  manager.Stop();
}

// The profile editor opens the avatar editor the way the client does: a
// user switch in between gives the page the new user's key.
class EditorOwningHost : public UserInfoHost {
 public:
  explicit EditorOwningHost(EditorFixture* f) : f_(f) {}
  const UserAccountRecord* CurrentUser() const override { return &user; }
  void UpdateUserInfo(const std::map<std::wstring, std::wstring>&) override {}
  void UpdateGameProfile(const std::wstring&) override {}
  void RequestAvatarKey() override {}
  void OpenAvatarEditor(const std::wstring& key, const uilib::RECT& at) override {
    if (!f_->editor)
      f_->editor = std::make_unique<COBUpdateUserImageDlg>(dialog_window, f_->Setup());
    f_->editor->ShowAt(at, key);
  }
  UserAccountRecord user;
  uilib::HWND dialog_window = 0;

 private:
  EditorFixture* f_;
};

TEST(AvatarEditorTest, TheProfileEditorOpensItWithTheCurrentUsersKey) {
  EditorFixture f;
  f.editor.reset();
  f.WritePage();
  ControlContext context;
  context.skin_folder = DefaultSkin();
  EventChain events;
  EditorOwningHost host(&f);
  host.user.Account = L"first";
  CUserInfoDialog dialog(&host, &events, &context);
  host.dialog_window = dialog.CreateDialogWindow(0);
  ASSERT_NE(0u, host.dialog_window);
  const FromHandle origin{2, 0};
  auto open_with_key = [&](const std::wstring& key) {
    dialog.ShowDialog(nullptr);
    payload::SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt reply(origin, L"", true, key);
    events.FireEvent(&reply);
    return driver::Click(dialog.paint_manager(), L"change_picture_button");
  };
  ASSERT_TRUE(open_with_key(L"first-key"));
  ASSERT_NE(nullptr, f.editor);
  EXPECT_TRUE(f.Visible());
  uilib::RECT dialog_rect{}, editor_rect{};
  uilib::GetWindowRect(host.dialog_window, &dialog_rect);
  uilib::GetWindowRect(f.editor->GetHWND(), &editor_rect);
  EXPECT_EQ(dialog_rect.left + 35, editor_rect.left);
  EXPECT_EQ(dialog_rect.top + 35, editor_rect.top);
  ASSERT_TRUE(f.MovieCall(Invoke(L"CB_RoleAvatarReady")));
  ASSERT_TRUE(f.MovieCall(Invoke(L"CB_RoleAvatarClose")));

  dialog.Reset();
  host.user.Account = L"second";
  ASSERT_TRUE(open_with_key(L"second-key"));
  EXPECT_EQ((std::vector<std::wstring>{AvatarKeyCall(L"first-key"), AvatarKeyCall(L"second-key")}),
            f.KeysSent());
  EXPECT_EQ(1, f.browsers_made);
  // Torn down with the dialog still hidden: it stays hidden.
  uilib::ShowWindow(host.dialog_window, uilib::SW_HIDE);
  f.editor.reset();
  EXPECT_FALSE(uilib::IsWindowVisible(host.dialog_window));
}

}  // namespace
}  // namespace ombrix::test
