// The main window and the windows it opens, driven as a user would: the
// buttons of the frame, the picker's tiles, the dialogs' buttons.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "client/core/config_keys.h"
#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "client/core/shot_catalogue.h"
#include "client/core/web_events.h"
#include "client/ui/controls/ob_pic_button_ui.h"
#include "client/ui/dialogs/about_dialog.h"
#include "client/ui/dialogs/feed_dialog.h"
#include "client/ui/dialogs/message_dialog.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "client/ui/frame/frame_windows.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "client/ui/minicard/mini_user_card.h"
#include "client/ui/picture/ob_album_wnd.h"
#include "client/ui/picture/ob_pic_wnd.h"
#include "client/ui/settings/confirm_dialog.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/fake_browser_host.h"
#include "tests/client/ui/fake_frame_services.h"
#include "tests/client/ui/picture_test_host.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_snapshot.h"
#include "uilib/winsys/window_table.h"

using namespace uilib;
namespace driver = uilib::test_driver;

namespace ombrix::test {
namespace {

// A 2 x 2 GIF (the smallest the format allows with a two-colour table).
std::string TinyGif() {
  static const unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x02, 0x00, 0x02,
                                       0x00, 0x80, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                       0xFF, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02,
                                       0x00, 0x00, 0x02, 0x02, 0x84, 0x51, 0x00, 0x3B};
  return std::string(reinterpret_cast<const char*>(kGif), sizeof(kGif));
}

std::string ReadBytes(const std::string& path, size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// The screen as the user sees it: every visible window's own image at its
// place, later ones on top, over a dark desktop.
bool SaveScreen(const std::vector<HWND>& windows, const std::string& path) {
  RECT bounds{0, 0, 0, 0};
  bool any = false;
  for (HWND hwnd : windows) {
    if (hwnd == 0 || !IsWindowVisible(hwnd)) continue;
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    bounds = any ? RECT{std::min(bounds.left, rc.left), std::min(bounds.top, rc.top),
                        std::max(bounds.right, rc.right), std::max(bounds.bottom, rc.bottom)}
                 : rc;
    any = true;
  }
  if (!any) return false;
  const int w = bounds.Width() + 20;
  const int h = bounds.Height() + 20;
  std::vector<uint32_t> canvas(static_cast<size_t>(w) * h, 0xFF30363Cu);
  for (HWND hwnd : windows) {
    if (hwnd == 0 || !IsWindowVisible(hwnd)) continue;
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    std::vector<uint32_t> image;
    int iw = 0, ih = 0;
    if (!WindowSnapshotPixels(hwnd, &image, &iw, &ih)) return false;
    for (int y = 0; y < ih; ++y) {
      for (int x = 0; x < iw; ++x) {
        const int cx = rc.left - bounds.left + 10 + x;
        const int cy = rc.top - bounds.top + 10 + y;
        if (cx < 0 || cy < 0 || cx >= w || cy >= h) continue;
        const uint32_t src = image[static_cast<size_t>(y) * iw + x];
        uint32_t& dst = canvas[static_cast<size_t>(cy) * w + cx];
        const uint32_t a = src >> 24;
        uint32_t out = 0xFF000000u;
        for (int shift : {0, 8, 16}) {
          // Premultiplied: source plus what shows through.
          uint32_t c = ((src >> shift) & 0xFF) + ((dst >> shift) & 0xFF) * (255 - a) / 255;
          out |= std::min<uint32_t>(c, 255) << shift;
        }
        dst = out;
      }
    }
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t c = canvas[static_cast<size_t>(y) * w + x];
      guchar* p = pixels + y * stride + x * 3;
      p[0] = static_cast<guchar>(c >> 16);
      p[1] = static_cast<guchar>(c >> 8);
      p[2] = static_cast<guchar>(c);
    }
  }
  const bool ok = gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  return ok;
}

class ShotFolder : public IShotFolderSource {
 public:
  std::wstring GetSnapshotDirectory() const override { return store; }
  std::wstring GetUserFolder() const override { return L"Users/All Users"; }
  std::wstring store;
};

// The frame signed in with an account, on a real configuration store and a
// real screenshot catalogue.
class FrameLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    std::filesystem::create_directories(dir.Sub("Ombrix/OBSkin/other"));
    store = std::make_unique<ConfigStore>(brx::util::Utf8ToWide(dir.Sub("Ombrix")), L"other");
    store->LoadSystemConfig();
    ASSERT_TRUE(store->CheckSkinAndLoadGameConfigs());
    shot_folder.store = brx::util::Utf8ToWide(dir.Sub("shots"));
    catalogue.SetOwner(&shot_folder);
    services.shots = &catalogue;
    services.game_ids = {L"other"};
    services.config_store = store.get();
    services.user.Account = L"demo";
    services.user.NickName = L"旧昵称";
    services.user.UserAccountId = L"1001";
    context.skin_folder = DefaultSkin();
    context.events = &services.events;
    services.events.Subscribe(SEVENT_CONFIG_CHANGE_SYSTEM,
                              [this](const EventParameter*) { fired.push_back(34); });
    services.events.Subscribe(SEVENT_CONFIG_CHANGE_GAME, [this](const EventParameter* p) {
      // Only the current game's change counts.
      if (static_cast<const payload::SEVENT_CONFIG_CHANGE_GAME*>(p)->game_id == L"other")
        fired.push_back(35);
    });
    frame = std::make_unique<COBFrameWnd>(
        &services, &context, [this](HWND, const RECT&) -> std::unique_ptr<BrowserHost> {
          auto host = std::make_unique<FakeBrowserHost>();
          if (page == nullptr) page = host.get();
          return host;
        });
    ASSERT_NE(0u, frame->Create(0, L"Ombrix", 0x00CF0000, 0, 0, 0, 300, 650));
    frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
    ASSERT_NE(nullptr, page);
    page->FinishLoad(L"Ombrix default");
    page->SimulateExternalCall("CB_OnLoad", {L"", L"default"});
    out = BinaryDir() + "/test-output/frame_links";
    std::filesystem::create_directories(out);
  }
  void TearDown() override {
    // Closing with windows still open: each goes exactly once (the
    // sanitizers see a second delete).
    frame.reset();
  }

  CPaintManagerUI& pm() { return frame->paint_manager(); }
  CControlUI* C(const wchar_t* name) { return pm().FindControlQuiet(name); }
  void Click(const wchar_t* name) { ASSERT_TRUE(driver::Click(pm(), name)); }
  std::wstring Shot(const std::string& relative, uint32_t rgb) {
    std::string path = dir.Sub("shots/Users/All Users/other/" + relative);
    WriteJpeg(path, 320, 180, rgb);
    return brx::util::Utf8ToWide(path);
  }
  static void WaitForTiles(const PictureWindow& window) {
    ASSERT_TRUE(WaitUntil(
        [&] {
          driver::Pump();
          return window.PendingTiles() == 0;
        },
        std::chrono::seconds(60)));
  }
  static POINT Centre(const RECT& rc) {
    return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  }
  void Screen(const std::string& name, std::vector<HWND> on_top) {
    on_top.insert(on_top.begin(), frame->GetHWND());
    EXPECT_TRUE(SaveScreen(on_top, out + "/" + name));
  }
  void Advance(uint32_t ms) {
    HeadlessBackend::Current()->AdvanceClock(ms);
    driver::Pump();
  }
  // A custom store holding one byte more than its 1 MB quota, the warning on.
  void MakeStoreOverQuota() {
    SystemConfig& sys = store->system();
    std::filesystem::create_directories(dir.Sub("store/OBSnapshot"));
    WriteFile(dir.Sub("store/OBSnapshot/a.jpg"), std::string(1048576 + 1, 'a'));
    sys.SetStoreType(L"custom");
    sys.SetStorePath(brx::util::Utf8ToWide(dir.Sub("store")));
    sys.SetQuotaSize(1);
    sys.SetConfigValue(config_keys::kQuotaEnable, L"1");
  }

  TempDir dir;
  ScopedEnv registry{"OMBRIX_REGISTRY_DIR", dir.Sub("registry")};
  ScopedEnv xdg{"XDG_CONFIG_HOME", dir.Sub("config")};
  ScopedEnv home{"HOME", dir.Sub("home")};
  std::unique_ptr<ConfigStore> store;
  ShotFolder shot_folder;
  ShotCatalogue catalogue;
  FakeFrameServices services;
  ControlContext context;
  FakeBrowserHost* page = nullptr;
  std::vector<int> fired;
  std::unique_ptr<COBFrameWnd> frame;
  std::string out;
};

// The screenshot button opens the picker (once); the chosen picture goes
// up and into the post. The album deletes after asking, over a disabled
// album, and each window keeps the other's opener off while it is open.
TEST_F(FrameLinksTest, PickerFeedsThePostAndTheAlbumDeletesAfterAsking) {
  const std::wstring first = Shot("a.jpg", 0xC02020);
  const std::wstring second = Shot("b.jpg", 0x2060C0);
  FrameWindows& windows = frame->windows();
  EXPECT_EQ(nullptr, windows.picker());

  Click(L"insertpicbtn");
  COBPicWnd* picker = windows.picker();
  ASSERT_NE(nullptr, picker);
  EXPECT_TRUE(picker->shown());
  EXPECT_EQ(frame->GetHWND(), GetWindowOwner(picker->GetHWND()));
  EXPECT_FALSE(C(L"picbtn")->IsEnabled());
  ASSERT_EQ(2u, picker->items().size());
  WaitForTiles(*picker);
  Screen("picker.png", {picker->GetHWND()});
  Click(L"insertpicbtn");  // shown already: the same window, not filled again
  EXPECT_EQ(picker, windows.picker());
  EXPECT_EQ(2u, picker->items().size());

  size_t index = picker->items()[0].path == second ? 0 : 1;
  driver::DoubleClickAt(picker->GetHWND(), Centre(picker->ItemRect(index)));
  EXPECT_FALSE(picker->shown());
  EXPECT_TRUE(C(L"picbtn")->IsEnabled());
  ASSERT_EQ(1u, services.uploads.size());
  EXPECT_EQ(second, services.uploads[0][0]);
  auto* pic_button = static_cast<COBPicButtonUI*>(C(L"insertpicbtn"));
  EXPECT_TRUE(pic_button->IsAttached());
  EXPECT_EQ(L"file='" + second + L"'", pic_button->GetNormalImage());
  Screen("picture_attached.png", {});

  payload::SEVENT_RESPONSE_Upload uploaded(FromHandle{FromHandle::kClient, 0}, L"", true, second,
                                           L"http://img/b");
  services.events.FireEvent(&uploaded);
  static_cast<CRichEditUI*>(C(L"txtrich"))->SetText(L"看我的截图");
  frame->RefreshCommitButton();
  driver::PressKey(frame->GetHWND(), VK_RETURN);
  ASSERT_EQ(1u, services.blogs.size());
  EXPECT_EQ((std::vector<std::wstring>{L"看我的截图", L"http://img/b", L"", L"Game other"}),
            services.blogs[0]);

  // The album: the picture button is off while it is open.
  Click(L"picbtn");
  COBAlbumWnd* album = windows.album();
  ASSERT_NE(nullptr, album);
  EXPECT_TRUE(album->shown());
  EXPECT_FALSE(C(L"insertpicbtn")->IsEnabled());
  ASSERT_EQ(2u, album->items().size());
  WaitForTiles(*album);
  index = album->items()[0].path == first ? 0 : 1;
  driver::ClickAt(album->GetHWND(), Centre(album->ItemRect(index)));
  ASSERT_TRUE(album->IsSelected(index));
  driver::ClickAt(album->GetHWND(), Centre(PictureWindow::ButtonRect(PictureWindow::kDelete)));
  // Asked first, over the album, which cannot be used meanwhile.
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(first)));
  EXPECT_FALSE(IsWindowEnabled(album->GetHWND()));
  HWND question = 0;
  for (HWND hwnd : WindowTable::Get().Windows()) {
    if (hwnd != album->GetHWND() && GetWindowOwner(hwnd) == album->GetHWND() &&
        IsWindowVisible(hwnd))
      question = hwnd;
  }
  ASSERT_NE(0u, question);
  Screen("album_delete.png", {album->GetHWND(), question});
  auto* confirm_ui = dynamic_cast<OBUIWindow*>(GetWindowObject(question));
  ASSERT_NE(nullptr, confirm_ui);
  ASSERT_TRUE(driver::Click(confirm_ui->paint_manager(), L"confirmbtn"));
  EXPECT_TRUE(IsWindowEnabled(album->GetHWND()));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(first)));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(second)));
  ASSERT_EQ(1u, album->items().size());
  driver::ClickAt(album->GetHWND(), Centre(PictureWindow::ButtonRect(PictureWindow::kClose)));
  EXPECT_FALSE(album->shown());
  EXPECT_TRUE(C(L"insertpicbtn")->IsEnabled());
}

// Settings from the toolbar and from the pop-up menu (their changes reach
// the games as 34 then 35), the profile editor, and the small dialogs, each
// modal over the frame.
TEST_F(FrameLinksTest, SettingsMenuProfileAndDialogsOverTheFrame) {
  FrameWindows& windows = frame->windows();
  HWND main = frame->GetHWND();

  // Settings from the toolbar: page 1, the frame disabled until it closes.
  Click(L"confbtn");
  CConfigurationDialog* settings = windows.settings();
  ASSERT_NE(nullptr, settings);
  EXPECT_TRUE(IsWindowVisible(settings->GetHWND()));
  EXPECT_EQ(static_cast<uint32_t>(CConfigurationDialog::kNormal), settings->current_tab());
  EXPECT_FALSE(IsWindowEnabled(main));
  Click(L"menubtn");  // the frame cannot be used meanwhile
  EXPECT_FALSE(IsWindowVisible(windows.menu()->GetHWND()));
  Screen("settings.png", {settings->GetHWND()});
  CPaintManagerUI& spm = settings->paint_manager();
  ASSERT_TRUE(driver::Click(spm, L"soundsetBtn"));
  const bool was = static_cast<COptionUI*>(spm.FindControlQuiet(L"muteSound"))->IsSelected();
  ASSERT_TRUE(driver::Click(spm, L"muteSound"));
  ASSERT_TRUE(driver::Click(spm, L"OKBtn"));
  EXPECT_EQ((std::vector<int>{34, 35}), fired);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_FALSE(IsWindowVisible(settings->GetHWND()));
  EXPECT_EQ(was ? L"1" : L"0", store->system().GetConfigValue(config_keys::kOneShotSound, L"?"));

  // The shortcut keys button opens the second tab.
  Click(L"keybtn");
  EXPECT_EQ(static_cast<uint32_t>(CConfigurationDialog::kAccel), settings->current_tab());
  ASSERT_TRUE(driver::Click(spm, L"CancelBtn"));
  EXPECT_TRUE(IsWindowEnabled(main));

  // The menu: settings again, then the about box, then switching users.
  Click(L"menubtn");
  COBContextMenu* menu = windows.menu();
  ASSERT_NE(nullptr, menu);
  EXPECT_TRUE(IsWindowVisible(menu->GetHWND()));
  EXPECT_EQ(menu, windows.menu());
  Screen("menu.png", {menu->GetHWND()});
  ASSERT_TRUE(driver::Click(menu->paint_manager(), L"configureBtn"));
  EXPECT_FALSE(IsWindowVisible(menu->GetHWND()));
  EXPECT_TRUE(IsWindowVisible(settings->GetHWND()));
  ASSERT_TRUE(driver::Click(spm, L"soundsetBtn"));
  ASSERT_TRUE(driver::Click(spm, L"muteSound"));
  ASSERT_TRUE(driver::Click(spm, L"SetBtn"));
  EXPECT_EQ((std::vector<int>{34, 35, 34, 35}), fired);
  ASSERT_TRUE(driver::Click(spm, L"CloseBtn"));

  Click(L"menubtn");
  ASSERT_TRUE(driver::Click(menu->paint_manager(), L"aboutBtn"));
  ASSERT_NE(nullptr, windows.about());
  EXPECT_TRUE(IsWindowVisible(windows.about()->GetHWND()));
  EXPECT_FALSE(IsWindowEnabled(main));
  Screen("about.png", {windows.about()->GetHWND()});
  ASSERT_TRUE(driver::Click(windows.about()->paint_manager(), L"confirmbtn"));
  EXPECT_TRUE(IsWindowEnabled(main));

  // The profile editor: the account and roles are asked for on every
  // press; the dialog made at sign-in shows.
  services.log.clear();
  Click(L"userbtn");
  EXPECT_EQ((std::vector<std::wstring>{L"profile 2,0", L"avatar key"}), services.log);
  CUserInfoDialog* profile = windows.user_info();
  ASSERT_NE(nullptr, profile);
  EXPECT_TRUE(IsWindowVisible(profile->GetHWND()));
  std::wstring roles = L"[";
  for (int i = 0; i < 100; ++i) {
    roles += (i ? L"," : L"") + std::wstring(L"{\"ID\":\"r") + std::to_wstring(i) +
             L"\",\"GameName\":\"g\",\"CharacterName\":\"角色" + std::to_wstring(i) +
             L"\",\"CharacterLevel\":\"" + std::to_wstring(200 - i) + L"\",\"Privacy\":\"1\"}";
  }
  payload::SEVENT_RESPONSE_GetGameUserProfileList list(FromHandle{2, 0}, L"", true, roles + L"]");
  services.events.FireEvent(&list);
  ASSERT_EQ(100u, profile->roles().size());
  Screen("profile.png", {profile->GetHWND()});
  // The last of the hundred rows can be scrolled into view with the wheel.
  CControlUI* role_list = profile->paint_manager().FindControlQuiet(L"game_role_list");
  const int in_view = profile->RolesInView();
  ASSERT_GT(in_view, 0);
  ASSERT_LT(in_view, 100);
  POINT over = Centre(role_list->GetPos());
  ClientToScreen(profile->GetHWND(), &over);
  for (int notch = 0; notch < 60; ++notch)
    SendMessage(profile->GetHWND(), WM_MOUSEWHEEL,
                static_cast<WPARAM>(static_cast<uint16_t>(-120)) << 16, MAKELPARAM(over.x, over.y));
  EXPECT_EQ(100 - in_view, profile->first_role_in_view());
  profile->paint_manager().FindControl(POINT{0, 0});  // lays the rows out as painting does
  auto* list_container = static_cast<CContainerUI*>(role_list);
  EXPECT_TRUE(list_container->GetItemAt(99)->IsVisible());
  EXPECT_FALSE(list_container->GetItemAt(0)->IsVisible());
  EXPECT_TRUE(role_list->GetPos().Contains(Centre(list_container->GetItemAt(99)->GetPos())));
  Screen("profile_scrolled.png", {profile->GetHWND()});
  SendMessage(profile->GetHWND(), WM_MOUSEWHEEL, static_cast<WPARAM>(120) << 16,
              MAKELPARAM(over.x, over.y));
  EXPECT_EQ(97 - in_view, profile->first_role_in_view());
  POINT outside{5, 5};
  ClientToScreen(profile->GetHWND(), &outside);
  SendMessage(profile->GetHWND(), WM_MOUSEWHEEL, static_cast<WPARAM>(120) << 16,
              MAKELPARAM(outside.x, outside.y));
  EXPECT_EQ(97 - in_view, profile->first_role_in_view());
  // The keys scroll it as well (nothing in the dialog has the focus)...
  const HWND profile_hwnd = profile->GetHWND();
  driver::PressKey(profile_hwnd, VK_HOME);
  EXPECT_EQ(0, profile->first_role_in_view());
  driver::PressKey(profile_hwnd, VK_NEXT);
  EXPECT_EQ(in_view, profile->first_role_in_view());
  driver::PressKey(profile_hwnd, VK_DOWN);
  EXPECT_EQ(in_view + 1, profile->first_role_in_view());
  driver::PressKey(profile_hwnd, VK_UP);
  driver::PressKey(profile_hwnd, VK_PRIOR);
  EXPECT_EQ(0, profile->first_role_in_view());
  driver::PressKey(profile_hwnd, VK_END);
  EXPECT_EQ(100 - in_view, profile->first_role_in_view());
  // ...and so does its bar: dragged to the top, and a press below it.
  CControlUI* mark = profile->paint_manager().FindControlQuiet(L"game_role_scrollmark");
  ASSERT_NE(nullptr, mark);
  profile->paint_manager().FindControl(POINT{0, 0});
  POINT grab = Centre(mark->GetPos());
  SendMessage(profile_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab.x, grab.y));
  SendMessage(profile_hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(grab.x, grab.y - 1000));
  SendMessage(profile_hwnd, WM_LBUTTONUP, 0, MAKELPARAM(grab.x, grab.y - 1000));
  EXPECT_EQ(0, profile->first_role_in_view());
  profile->paint_manager().FindControl(POINT{0, 0});
  const RECT bar = mark->GetPos();
  SendMessage(profile_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab.x, bar.bottom + 10));
  SendMessage(profile_hwnd, WM_LBUTTONUP, 0, MAKELPARAM(grab.x, bar.bottom + 10));
  EXPECT_EQ(in_view, profile->first_role_in_view());
  // A new list starts at its top again, or where the display role shows.
  services.events.FireEvent(&list);
  EXPECT_EQ(0, profile->first_role_in_view());
  services.user.DisplayRoleId = L"r40";
  services.events.FireEvent(&list);
  EXPECT_EQ(41 - in_view, profile->first_role_in_view());
  EXPECT_EQ(L"角色40", profile->paint_manager().FindControlQuiet(L"role_name_label")->GetText());
  services.user.DisplayRoleId = L"";
  services.events.FireEvent(&list);
  EXPECT_EQ(0, profile->first_role_in_view());
  profile->paint_manager().FindControl(POINT{0, 0});
  EXPECT_TRUE(list_container->GetItemAt(0)->IsVisible());
  EXPECT_FALSE(list_container->GetItemAt(in_view)->IsVisible());
  // Saving sends the changed nickname; OK leaves once the server agrees.
  auto* nickname =
      static_cast<CRichEditUI*>(profile->paint_manager().FindControlQuiet(L"nickname_edit"));
  nickname->SetText(L"新昵称");
  ASSERT_TRUE(driver::Click(profile->paint_manager(), L"ok_button"));
  ASSERT_EQ(1u, services.user_updates.size());
  EXPECT_EQ(L"新昵称", services.user_updates[0][L"NickName"]);
  EXPECT_EQ(L"r0", services.user_updates[0][L"DisplayRoleId"]);
  payload::SEVENT_RESPONSE_UpdateUserInfo saved(FromHandle{2, 0}, L"{\"Status\":\"0\"}", true);
  services.events.FireEvent(&saved);
  EXPECT_FALSE(IsWindowVisible(profile->GetHWND()));

  // The feedback form, modal; its text goes to the web service.
  Click(L"feedbackbtn");
  CFeedDialog* feed = windows.feed();
  ASSERT_NE(nullptr, feed);
  EXPECT_TRUE(IsWindowVisible(feed->GetHWND()));
  EXPECT_FALSE(IsWindowEnabled(main));
  Screen("feedback.png", {feed->GetHWND()});
  static_cast<CRichEditUI*>(feed->paint_manager().FindControlQuiet(L"feedlist"))
      ->SetText(L"这是十个以上的反馈内容。");
  ASSERT_TRUE(driver::Click(feed->paint_manager(), L"confirmbtn"));
  EXPECT_EQ(L"feedback |这是十个以上的反馈内容。", services.log.back());
  ASSERT_TRUE(driver::Click(feed->paint_manager(), L"closebtn"));
  EXPECT_TRUE(IsWindowEnabled(main));

  // The untouched topic: the warning box, modal, closed with Enter.
  static_cast<CRichEditUI*>(C(L"txtrich"))->SetText(L"");
  frame->RefreshCommitButton();
  Click(L"topicbtn");
  driver::PressKey(main, VK_RETURN);
  CWarningDialog* warning = windows.warning();
  ASSERT_NE(nullptr, warning);
  EXPECT_TRUE(IsWindowVisible(warning->GetHWND()));
  EXPECT_EQ(L"请修改自定义话题！",
            warning->paint_manager().FindControlQuiet(L"messagelabel")->GetText());
  EXPECT_EQ(L"提示", warning->paint_manager().FindControlQuiet(L"headerlabel")->GetText());
  EXPECT_FALSE(IsWindowEnabled(main));
  EXPECT_TRUE(services.blogs.empty());
  Screen("warning.png", {warning->GetHWND()});
  driver::PressKey(warning->GetHWND(), VK_RETURN);
  EXPECT_FALSE(IsWindowVisible(warning->GetHWND()));
  EXPECT_TRUE(IsWindowEnabled(main));

  // Switching users from the menu asks first; yes signs out, and the
  // profile editor forgets the user.
  Click(L"menubtn");
  ASSERT_TRUE(driver::Click(menu->paint_manager(), L"changeUserBtn"));
  CYesNoDialog* question = windows.yes_no();
  ASSERT_NE(nullptr, question);
  EXPECT_TRUE(IsWindowVisible(question->GetHWND()));
  EXPECT_EQ(L"您确定要退出，更换其他帐号",
            question->paint_manager().FindControlQuiet(L"messagelabel1")->GetText());
  Screen("switch_user.png", {question->GetHWND()});
  EXPECT_EQ(SignInState::kAccount, frame->sign_in_state());
  ASSERT_TRUE(driver::Click(question->paint_manager(), L"confirmbtn"));
  EXPECT_EQ(SignInState::kSignedOut, frame->sign_in_state());
  EXPECT_EQ((std::vector<std::wstring>{L"logout", L"login window"}),
            std::vector<std::wstring>(services.log.end() - 2, services.log.end()));
  EXPECT_TRUE(profile->roles().empty());
}

// A GIF head image is written again as PNG before the user button shows
// it; the storage check runs once, a second after a normal sign-in.
TEST_F(FrameLinksTest, HeadImageAndTheDelayedStorageCheck) {
  const std::string head = dir.Sub("Ombrix/Users/demo/head.jpg");
  std::filesystem::create_directories(std::filesystem::path(head).parent_path());
  WriteFile(head, TinyGif());
  services.user.HeadImageUrl = brx::util::Utf8ToWide(head);
  payload::SEVENT_RESPONSE_UpdateUserInfo failed(FromHandle{2, 0}, L"", false);
  services.events.FireEvent(&failed);
  EXPECT_EQ("GIF89a", ReadBytes(head, 6));
  payload::SEVENT_RESPONSE_UpdateUserInfo updated(FromHandle{2, 0}, L"{\"Status\":\"0\"}", true);
  services.events.FireEvent(&updated);
  EXPECT_EQ("\x89PNG", ReadBytes(head, 4));
  auto* user = static_cast<CButtonUI*>(C(L"userbtn"));
  EXPECT_EQ(L"file='" + services.user.HeadImageUrl + L"'", user->GetNormalImage());
  EXPECT_EQ(user->GetNormalImage(), user->GetHotImage());
  EXPECT_EQ(user->GetNormalImage(), user->GetPushedImage());
  GdkPixbuf* decoded = gdk_pixbuf_new_from_file(head.c_str(), nullptr);
  ASSERT_NE(nullptr, decoded);
  EXPECT_EQ(2, gdk_pixbuf_get_width(decoded));
  g_object_unref(decoded);
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(head).parent_path()))
    EXPECT_EQ("head.jpg", entry.path().filename().string());  // nothing temporary left
  // Already PNG: left alone. Still the address list: nothing shown.
  services.events.FireEvent(&updated);
  services.user.HeadImageUrl = L"http://s/a.gif,http://s/b.gif";
  services.events.FireEvent(&updated);
  EXPECT_EQ(L"file='" + brx::util::Utf8ToWide(head) + L"'", user->GetNormalImage());

  // The store is over its quota: one second after the sign-in the settings
  // open on the folder tab with the note over them.
  MakeStoreOverQuota();
  frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
  EXPECT_FALSE(C(L"recommend_tip_1")->IsVisible());
  EXPECT_EQ(L"1", services.config[L"root.user.recommendtipsshowed"]);
  FrameWindows& windows = frame->windows();
  Advance(999);
  EXPECT_EQ(nullptr, windows.quota());
  Advance(1);
  // The folder is measured off the GUI thread; the note follows.
  auto measured = [&] {
    return WaitUntil([&] {
      driver::Pump();
      return !windows.settings()->measuring();
    });
  };
  ASSERT_TRUE(measured());
  ASSERT_NE(nullptr, windows.quota());
  CConfigurationDialog* settings = windows.settings();
  EXPECT_TRUE(IsWindowVisible(settings->GetHWND()));
  EXPECT_EQ(static_cast<uint32_t>(CConfigurationDialog::kFolder), settings->current_tab());
  EXPECT_TRUE(IsWindowVisible(windows.quota()->GetHWND()));
  EXPECT_EQ(settings->GetHWND(), GetWindowOwner(windows.quota()->GetHWND()));
  EXPECT_FALSE(IsWindowEnabled(settings->GetHWND()));
  Screen("quota.png", {settings->GetHWND(), windows.quota()->GetHWND()});
  // "Cancel" closes the note and the settings.
  ASSERT_TRUE(driver::Click(windows.quota()->paint_manager(), L"CancelBtn"));
  EXPECT_FALSE(IsWindowVisible(settings->GetHWND()));
  EXPECT_TRUE(IsWindowEnabled(frame->GetHWND()));
  // Once per sign-in: the tray's request does nothing more; a sign-in
  // shown minimised starts none.
  frame->StartDelayedCheck();
  Advance(2000);
  EXPECT_FALSE(settings->measuring());
  EXPECT_FALSE(IsWindowVisible(settings->GetHWND()));
  frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kMinimized);
  Advance(2000);
  EXPECT_FALSE(settings->measuring());
  EXPECT_FALSE(IsWindowVisible(settings->GetHWND()));
  frame->StartDelayedCheck();
  Advance(1000);
  ASSERT_TRUE(measured());
  EXPECT_TRUE(IsWindowVisible(settings->GetHWND()));
}

// The window manager's close (its close button, Alt+F4, a taskbar's
// Close) reaches each window as that window's own close: the main window
// and the card hide, the settings and the profile editor close as their
// Cancel does, the boxes that wait for an answer stay, the feedback form
// keeps its draft, and nothing ends the client.
TEST_F(FrameLinksTest, TheWindowManagersCloseIsEachWindowsOwnAndEndsNothing) {
  FrameWindows& windows = frame->windows();
  HWND main = frame->GetHWND();
  auto shown = [](HWND hwnd) { return IsWindow(hwnd) && IsWindowVisible(hwnd); };
  auto quit_posted = [] {
    MSG msg;
    bool quit = false;
    while (::uilib::PeekMessage(&msg, true)) quit = quit || msg.message == WM_QUIT;
    return quit;
  };

  // Settings: a change, then the close, saves nothing and frees the frame.
  windows.ShowSettings(1);
  CConfigurationDialog* settings = windows.settings();
  ASSERT_TRUE(driver::Click(settings->paint_manager(), L"soundsetBtn"));
  ASSERT_TRUE(driver::Click(settings->paint_manager(), L"muteSound"));
  driver::CloseFromWindowManager(settings->GetHWND());
  EXPECT_FALSE(shown(settings->GetHWND()));
  EXPECT_TRUE(IsWindow(settings->GetHWND()));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(fired.empty()) << "closed as Cancel: nothing saved";
  // While it is up, the disabled frame takes no close.
  windows.ShowSettings(1);
  driver::CloseFromWindowManager(main);
  EXPECT_TRUE(shown(main));
  driver::CloseFromWindowManager(settings->GetHWND());

  // The menu goes as when it loses the focus.
  windows.ShowContextMenu();
  driver::CloseFromWindowManager(windows.menu()->GetHWND());
  EXPECT_FALSE(shown(windows.menu()->GetHWND()));
  EXPECT_TRUE(shown(main));

  // The boxes that wait for an answer stay until it is given.
  windows.ShowAbout();
  driver::CloseFromWindowManager(windows.about()->GetHWND());
  EXPECT_TRUE(shown(windows.about()->GetHWND()));
  EXPECT_FALSE(IsWindowEnabled(main));
  ASSERT_TRUE(driver::Click(windows.about()->paint_manager(), L"closebtn"));
  windows.AskYesNo(2, L"确定要退出翎岚吗？", L"");
  driver::CloseFromWindowManager(windows.yes_no()->GetHWND());
  EXPECT_TRUE(shown(windows.yes_no()->GetHWND()));
  ASSERT_TRUE(driver::Click(windows.yes_no()->paint_manager(), L"denybtn"));
  windows.ShowWarning(L"提示", L"文字");
  driver::CloseFromWindowManager(windows.warning()->GetHWND());
  EXPECT_TRUE(shown(windows.warning()->GetHWND()));
  driver::PressKey(windows.warning()->GetHWND(), VK_RETURN);
  EXPECT_TRUE(IsWindowEnabled(main));

  // The feedback form keeps what the user typed.
  windows.ShowFeedback();
  CFeedDialog* feed = windows.feed();
  ASSERT_TRUE(driver::TypeInto(feed->paint_manager(), L"feedlist", L"写了一半的反馈"));
  driver::CloseFromWindowManager(feed->GetHWND());
  EXPECT_TRUE(shown(feed->GetHWND()));
  EXPECT_EQ(L"写了一半的反馈", feed->paint_manager().FindControlQuiet(L"feedlist")->GetText());
  ASSERT_TRUE(driver::Click(feed->paint_manager(), L"closebtn"));
  windows.ShowFeedback();
  EXPECT_EQ(L"写了一半的反馈", feed->paint_manager().FindControlQuiet(L"feedlist")->GetText());
  // Sent: the thank-you note closes with the window manager too.
  static_cast<CRichEditUI*>(feed->paint_manager().FindControlQuiet(L"feedlist"))
      ->SetText(L"这是十个以上的反馈内容。");
  ASSERT_TRUE(driver::Click(feed->paint_manager(), L"confirmbtn"));
  payload::SEVENT_RESPONSE_RecommendedAdd thanks({}, L"{\"Status\":0}", true);
  services.events.FireEvent(&thanks);
  ASSERT_NE(nullptr, feed->message_dialog());
  ASSERT_TRUE(shown(feed->message_dialog()->GetHWND()));
  driver::CloseFromWindowManager(feed->message_dialog()->GetHWND());
  EXPECT_FALSE(shown(feed->message_dialog()->GetHWND()));
  EXPECT_TRUE(IsWindow(feed->message_dialog()->GetHWND()));
  EXPECT_TRUE(IsWindowEnabled(main));

  // The profile editor: an edit, then the close, sends nothing.
  windows.ShowUserInfo();
  CUserInfoDialog* profile = windows.user_info();
  ASSERT_NE(nullptr, profile);
  ASSERT_TRUE(shown(profile->GetHWND()));
  static_cast<CRichEditUI*>(profile->paint_manager().FindControlQuiet(L"nickname_edit"))
      ->SetText(L"新昵称");
  driver::CloseFromWindowManager(profile->GetHWND());
  EXPECT_FALSE(shown(profile->GetHWND()));
  EXPECT_TRUE(IsWindow(profile->GetHWND()));
  EXPECT_TRUE(services.user_updates.empty());
  windows.ShowUserInfo();
  EXPECT_TRUE(shown(profile->GetHWND())) << "and it opens again";
  driver::CloseFromWindowManager(profile->GetHWND());

  // The picker and the album hide and give the other's opener back; the
  // album's question goes as its close button does, deleting nothing.
  const std::wstring shot = Shot("a.jpg", 0x20C020);
  windows.OpenPicker();
  WaitForTiles(*windows.picker());
  EXPECT_FALSE(C(L"picbtn")->IsEnabled());
  driver::CloseFromWindowManager(windows.picker()->GetHWND());
  EXPECT_FALSE(windows.picker()->shown());
  EXPECT_TRUE(C(L"picbtn")->IsEnabled());
  windows.OpenAlbum();
  WaitForTiles(*windows.album());
  HWND album = windows.album()->GetHWND();
  driver::ClickAt(album, Centre(windows.album()->ItemRect(0)));
  driver::ClickAt(album, Centre(PictureWindow::ButtonRect(PictureWindow::kDelete)));
  HWND question = 0;
  for (HWND hwnd : WindowTable::Get().Windows())
    if (GetWindowClassName(hwnd) == L"OBConfirmDialog" && IsWindowVisible(hwnd)) question = hwnd;
  ASSERT_NE(0u, question);
  driver::CloseFromWindowManager(question);
  EXPECT_FALSE(shown(question));
  EXPECT_TRUE(IsWindowEnabled(album));
  EXPECT_TRUE(std::filesystem::exists(brx::util::WideToUtf8(shot)));
  driver::CloseFromWindowManager(album);
  EXPECT_FALSE(windows.album()->shown());
  EXPECT_TRUE(C(L"insertpicbtn")->IsEnabled());

  // The storage note goes as its close button does; the settings stay.
  MakeStoreOverQuota();
  ASSERT_TRUE(windows.RunQuotaCheck());
  ASSERT_TRUE(WaitUntil([&] {  // measured off the GUI thread; the note follows
    driver::Pump();
    return !windows.settings()->measuring();
  }));
  ASSERT_NE(nullptr, windows.quota());
  ASSERT_TRUE(shown(windows.quota()->GetHWND()));
  driver::CloseFromWindowManager(windows.quota()->GetHWND());
  EXPECT_FALSE(shown(windows.quota()->GetHWND()));
  EXPECT_TRUE(shown(settings->GetHWND()));
  EXPECT_TRUE(IsWindowEnabled(settings->GetHWND()));
  driver::CloseFromWindowManager(settings->GetHWND());

  // The card hides.
  ASSERT_NE(nullptr, frame->card());
  ::uilib::ShowWindow(frame->card()->GetHWND(), SW_SHOWNA);
  driver::CloseFromWindowManager(frame->card()->GetHWND());
  EXPECT_FALSE(shown(frame->card()->GetHWND()));

  // The main window hides; it never closes.
  driver::CloseFromWindowManager(main);
  EXPECT_FALSE(shown(main));
  EXPECT_TRUE(IsWindow(main));
  EXPECT_FALSE(quit_posted()) << "only the tray's quit ends the client";
}

// A guest never gets the album back from the picker; and the frame can go
// with every window open, each ended once, the modal ones first letting
// their owners go.
TEST_F(FrameLinksTest, GuestOpenersAndClosingWithEverythingOpen) {
  Shot("a.jpg", 0x20C020);
  frame->ShowAfterSignIn(SignInState::kGuest, LoginStood::kVisible);
  FrameWindows& windows = frame->windows();
  EXPECT_FALSE(C(L"picbtn")->IsEnabled());
  Click(L"insertpicbtn");
  ASSERT_NE(nullptr, windows.picker());
  WaitForTiles(*windows.picker());
  driver::ClickAt(windows.picker()->GetHWND(),
                  Centre(PictureWindow::ButtonRect(PictureWindow::kCancel)));
  EXPECT_FALSE(windows.picker()->shown());
  EXPECT_TRUE(C(L"insertpicbtn")->IsEnabled());
  EXPECT_FALSE(C(L"picbtn")->IsEnabled());
  // A guest's post asks for a sign-in first; agreeing signs the guest out,
  // and after the sign-in with an account the draft goes out.
  static_cast<CRichEditUI*>(C(L"txtrich"))->SetText(L"游客的草稿");
  frame->RefreshCommitButton();
  driver::PressKey(frame->GetHWND(), VK_RETURN);
  ASSERT_NE(nullptr, windows.yes_no());
  EXPECT_TRUE(IsWindowVisible(windows.yes_no()->GetHWND()));
  EXPECT_EQ(L"登录后继续刚才的操作!",
            windows.yes_no()->paint_manager().FindControlQuiet(L"messagelabel")->GetText());
  EXPECT_TRUE(services.blogs.empty());
  ASSERT_TRUE(driver::Click(windows.yes_no()->paint_manager(), L"confirmbtn"));
  EXPECT_EQ(SignInState::kSignedOut, frame->sign_in_state());
  EXPECT_EQ(L"login window", services.log.back());
  frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
  ASSERT_EQ(1u, services.blogs.size());
  EXPECT_EQ(L"游客的草稿", services.blogs[0][0]);
  frame->ShowAfterSignIn(SignInState::kGuest, LoginStood::kVisible);
  // Declining keeps the guest, and nothing is sent later.
  static_cast<CRichEditUI*>(C(L"txtrich"))->SetText(L"再来一次");
  frame->RefreshCommitButton();
  driver::PressKey(frame->GetHWND(), VK_RETURN);
  ASSERT_TRUE(driver::Click(windows.yes_no()->paint_manager(), L"denybtn"));
  EXPECT_EQ(SignInState::kGuest, frame->sign_in_state());
  EXPECT_TRUE(IsWindowEnabled(frame->GetHWND()));
  EXPECT_EQ(1u, services.blogs.size());

  // The guest's menu offers no settings.
  Click(L"menubtn");
  EXPECT_FALSE(windows.menu()->paint_manager().FindControlQuiet(L"configureBtn")->IsEnabled());
  ASSERT_TRUE(driver::Click(windows.menu()->paint_manager(), L"aboutBtn"));
  ASSERT_TRUE(driver::Click(windows.about()->paint_manager(), L"closebtn"));

  frame->ShowAfterSignIn(SignInState::kAccount, LoginStood::kVisible);
  EXPECT_TRUE(windows.menu()->paint_manager().FindControlQuiet(L"configureBtn")->IsEnabled());
  windows.OpenPicker();
  WaitForTiles(*windows.picker());
  windows.OpenAlbum();
  WaitForTiles(*windows.album());
  driver::ClickAt(windows.album()->GetHWND(), Centre(windows.album()->ItemRect(0)));
  driver::ClickAt(windows.album()->GetHWND(),
                  Centre(PictureWindow::ButtonRect(PictureWindow::kDelete)));
  windows.ShowSettings(1);
  windows.ShowFeedback();
  windows.ShowWarning(L"提示", L"文字");
  windows.ShowAbout();
  windows.AskYesNo(2, L"确定要退出翎岚吗？", L"");
  windows.ShowUserInfo();
  EXPECT_FALSE(IsWindowEnabled(frame->GetHWND()));
  EXPECT_FALSE(IsWindowEnabled(windows.album()->GetHWND()));
  const size_t before = WindowTable::Get().Windows().size();
  frame.reset();
  // The frame, its card and every window it opened are gone.
  EXPECT_GE(before - WindowTable::Get().Windows().size(), 12u);
}

// Every skinned window but the frame keys out the one transparent colour
// from the start; the frame does once it first shows after a sign-in.
TEST_F(FrameLinksTest, EveryWindowKeysOutTheTransparentColour) {
  FrameWindows& w = frame->windows();
  w.ShowFeedback();
  w.ShowWarning(L"提示", L"x");
  w.ShowSettings(1);
  w.ShowAbout();
  w.AskYesNo(1, L"a", L"");
  CConfirmDialog confirm(&context);
  ASSERT_NE(0u, confirm.CreateDialogWindow(*frame));
  std::vector<std::pair<const char*, HWND>> windows = {
      {"frame", frame->GetHWND()},           {"feedback", w.feed()->GetHWND()},
      {"warning", w.warning()->GetHWND()},   {"menu", w.menu()->GetHWND()},
      {"settings", w.settings()->GetHWND()}, {"about", w.about()->GetHWND()},
      {"yes/no", w.yes_no()->GetHWND()},     {"user info", w.user_info()->GetHWND()},
      {"confirm", confirm.GetHWND()}};
  for (const auto& [name, hwnd] : windows) {
    ASSERT_NE(0u, hwnd) << name;
    COLORREF key = 0;
    uint8_t alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags)) << name;
    EXPECT_NE(0u, flags & LWA_COLORKEY) << name;
    EXPECT_EQ(OBUIWindow::kColorKey, key) << name;
  }
}

}  // namespace
}  // namespace ombrix::test
