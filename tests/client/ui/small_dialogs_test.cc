#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "client/core/event_ids.h"
#include "client/core/web_events.h"
#include "client/ui/dialogs/about_dialog.h"
#include "client/ui/dialogs/feed_dialog.h"
#include "client/ui/dialogs/message_dialog.h"
#include "client/ui/dialogs/quota_overflow_dialog.h"
#include "client/ui/dialogs/warning_dialog.h"
#include "client/ui/dialogs/yes_no_dialog.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/default_skin_layouts.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {
namespace {

// A shown owner window and a dialog owned by it.
class SmallDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    owner_ = std::make_unique<TestWindow>(FixtureLayout(L"nosize.xml"), true, nullptr);
    ASSERT_NE(owner_->CreateDefault(), 0u);
    ::uilib::ShowWindow(*owner_, SW_SHOW);
  }

  template <typename D>
  HWND Create(D& dialog, const wchar_t* name) {
    HWND hwnd = dialog.CreateOwned(*owner_, name);
    EXPECT_NE(hwnd, 0u);
    EXPECT_EQ(GetWindowOwner(hwnd), owner_->GetHWND());
    EXPECT_FALSE(IsWindowVisible(hwnd));
    COLORREF key = 0;
    uint8_t alpha = 0;
    DWORD flags = 0;
    EXPECT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags) &&
                (flags & LWA_COLORKEY) != 0 && key == OBUIWindow::kColorKey);
    return hwnd;
  }

  // Shown with its owner disabled, or hidden with its owner enabled.
  void ExpectModal(HWND dialog, bool shown) {
    EXPECT_EQ(IsWindowVisible(dialog), shown);
    EXPECT_EQ(IsWindowEnabled(*owner_), !shown);
  }

  std::wstring TextOf(OBUIWindow& window, const wchar_t* name) {
    CControlUI* control = window.paint_manager().FindControl(name);
    return control == nullptr ? L"<none>" : control->GetText();
  }

  static bool QuitPosted() {
    MSG msg;
    while (::uilib::PeekMessage(&msg, true))
      if (msg.message == WM_QUIT) return true;
    return false;
  }

  std::unique_ptr<TestWindow> owner_;
};

TEST_F(SmallDialogsTest, WarningMessageAndAboutKeepTheirOwnerDisabledExactlyWhileShown) {
  CWarningDialog warning(DefaultSkin());
  HWND hwnd = Create(warning, L"OBWarningDialog");
  warning.Show(L"提示", L"账号或密码错误");
  ExpectModal(hwnd, true);
  EXPECT_EQ(TextOf(warning, L"headerlabel"), L"提示");
  EXPECT_EQ(TextOf(warning, L"messagelabel"), L"账号或密码错误");
  // Clicks on the disabled owner reach nothing.
  owner_->notes.clear();
  test_driver::ClickAt(*owner_, {50, 50});
  EXPECT_TRUE(owner_->notes.empty());
  // The system close is ignored; Esc acts as the close button, Enter as
  // the confirm button.
  SendMessage(hwnd, WM_CLOSE, 0, 0);
  ExpectModal(hwnd, true);
  test_driver::PressKey(hwnd, VK_ESCAPE);
  ExpectModal(hwnd, false);
  EXPECT_EQ(GetForegroundWindow(), owner_->GetHWND());
  warning.Show(L"a", L"b");
  test_driver::PressKey(hwnd, VK_RETURN);
  ExpectModal(hwnd, false);
  // A hidden owner is enabled again but not brought back by a note.
  ::uilib::ShowWindow(*owner_, SW_HIDE);
  warning.Show(L"a", L"b");
  ASSERT_TRUE(test_driver::Click(warning.paint_manager(), L"confirmbtn"));
  EXPECT_TRUE(IsWindowEnabled(*owner_));
  EXPECT_FALSE(IsWindowVisible(*owner_));
  ::uilib::ShowWindow(*owner_, SW_SHOW);

  // The thank-you note closes itself one second after it is shown.
  CMessageDialog message(DefaultSkin());
  hwnd = Create(message, L"OBMessageDialog");
  message.Show();
  ExpectModal(hwnd, true);
  EXPECT_EQ(TextOf(message, L"messagelabel"), L"谢谢，提交反馈成功！");
  HeadlessBackend::Current()->AdvanceClock(999);
  test_driver::Pump();
  ExpectModal(hwnd, true);
  HeadlessBackend::Current()->AdvanceClock(1);
  test_driver::Pump();
  ExpectModal(hwnd, false);
  HeadlessBackend::Current()->AdvanceClock(5000);
  test_driver::Pump();
  message.Show();
  ExpectModal(hwnd, true);  // the timer was stopped: a second show works alike
  HeadlessBackend::Current()->AdvanceClock(1000);
  test_driver::Pump();
  ExpectModal(hwnd, false);

  // About: the version line, the home page, buttons only.
  CAboutDialog about(DefaultSkin(), {L"1.2.3.4", L" Standard", "https://ombrix.example/"});
  hwnd = Create(about, L"OBAboutDialog");
  std::wstring version = TextOf(about, L"text_version");
  EXPECT_TRUE(version.ends_with(L"(1.2.3.4) Standard")) << brx::util::WideToUtf8(version);
  about.Show();
  ExpectModal(hwnd, true);
  SendMessage(hwnd, WM_CLOSE, 0, 0);
  ExpectModal(hwnd, true);
  ASSERT_TRUE(test_driver::Click(about.paint_manager(), L"ombrixbtn"));
  auto requests = HeadlessBackend::Current()->recording_shell().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "https://ombrix.example/");
  ASSERT_TRUE(test_driver::Click(about.paint_manager(), L"closebtn"));
  ExpectModal(hwnd, false);
  about.Show();
  ASSERT_TRUE(test_driver::Click(about.paint_manager(), L"confirmbtn"));
  ExpectModal(hwnd, false);

  // A dialog that goes while shown leaves its owner usable; the owner is
  // its only deleter, so the owner's window going first leaves the object.
  auto doomed = std::make_unique<CWarningDialog>(DefaultSkin());
  Create(*doomed, L"OBWarningDialog");
  doomed->Show(L"a", L"b");
  EXPECT_FALSE(IsWindowEnabled(*owner_));
  doomed.reset();
  EXPECT_TRUE(IsWindowEnabled(*owner_));
}

class FakeSettings : public IQuotaDialogOwner {
 public:
  void CloseSettings() override { calls.push_back("close"); }
  void ShowScreenshotFolderPage() override { calls.push_back("page"); }
  void OpenScreenshotFolder() override { calls.push_back("folder"); }
  std::vector<std::string> calls;
};

class FakeFrame : public IYesNoFrame {
 public:
  void HideAndSignOut() override { calls.push_back("signout"); }
  void ShowDefaultPage() override { calls.push_back("default"); }
  std::vector<std::string> calls;
};

TEST_F(SmallDialogsTest, QuotaAndYesNoButtonsReachTheirOwners) {
  FakeSettings settings;
  CQuotaOverflowDialog quota(DefaultSkin(), &settings);
  HWND hwnd = Create(quota, L"OBQuotaOverflowDialog");
  quota.Show(500);
  ExpectModal(hwnd, true);
  EXPECT_EQ(TextOf(quota, L"notifyMessage2"), L"500MB，需要清理翎岚文件夹吗?");
  for (const wchar_t* button : {L"CloseBtn", L"CancelBtn", L"ChangeSetBtn", L"OpenFolderBtn"}) {
    quota.Show(1);
    ASSERT_TRUE(test_driver::Click(quota.paint_manager(), button));
    ExpectModal(hwnd, false);
  }
  EXPECT_EQ(settings.calls, (std::vector<std::string>{"close", "page", "folder"}));

  // A skin whose note lacks the second label: nothing is written, nothing
  // breaks, and the note still shows.
  TempDir temp;
  std::filesystem::path skin = std::filesystem::path(temp.path()) / "quota_skin";
  std::filesystem::create_directories(skin);
  std::ifstream in(brx::util::WideToUtf8(DefaultSkin()) + "/quota_overflow.xml");
  std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  xml = std::regex_replace(xml, std::regex("name=\"notifyMessage2\""), "name=\"gone\"");
  std::ofstream(skin / "quota_overflow.xml") << xml;
  CQuotaOverflowDialog partial(brx::util::Utf8ToWide(skin.string()), nullptr);
  HWND partial_hwnd = Create(partial, L"OBQuotaOverflowDialog");
  ASSERT_NE(partial.paint_manager().FindControl(L"notifyMessage"), nullptr);
  partial.Show(7);
  ExpectModal(partial_hwnd, true);
  ASSERT_TRUE(test_driver::Click(partial.paint_manager(), L"CancelBtn"));
  ExpectModal(partial_hwnd, false);

  FakeFrame frame;
  CYesNoDialog yesno(DefaultSkin(), &frame);
  hwnd = Create(yesno, L"OBYesNoDialog");
  CControlUI* single = yesno.paint_manager().FindControl(L"single_line_container");
  CControlUI* twice = yesno.paint_manager().FindControl(L"double_line_container");
  ASSERT_TRUE(single && twice);
  yesno.Show(CYesNoDialog::kSwitchUser, L"one line");
  ExpectModal(hwnd, true);
  EXPECT_TRUE(single->IsVisible());
  EXPECT_FALSE(twice->IsVisible());
  EXPECT_EQ(TextOf(yesno, L"messagelabel"), L"one line");
  EXPECT_EQ(TextOf(yesno, L"headerlabel"), L"提示");
  SendMessage(hwnd, WM_CLOSE, 0, 0);
  ExpectModal(hwnd, true);
  ASSERT_TRUE(test_driver::Click(yesno.paint_manager(), L"confirmbtn"));
  ExpectModal(hwnd, false);
  EXPECT_EQ(frame.calls, (std::vector<std::string>{"default", "signout"}));

  frame.calls.clear();
  yesno.Show(CYesNoDialog::kExit, L"first", L"second");
  EXPECT_FALSE(single->IsVisible());
  EXPECT_TRUE(twice->IsVisible());
  EXPECT_EQ(TextOf(yesno, L"messagelabel1"), L"first");
  EXPECT_EQ(TextOf(yesno, L"messagelabel2"), L"second");
  ASSERT_TRUE(test_driver::Click(yesno.paint_manager(), L"denybtn"));
  ExpectModal(hwnd, false);
  EXPECT_FALSE(QuitPosted());
  yesno.Show(CYesNoDialog::kExit, L"leave?");
  ASSERT_TRUE(test_driver::Click(yesno.paint_manager(), L"confirmbtn"));
  EXPECT_TRUE(QuitPosted());
  EXPECT_TRUE(IsWindowVisible(hwnd)) << "leaving needs no closing first";
  EXPECT_EQ(frame.calls, (std::vector<std::string>{"default"}));
}

TEST_F(SmallDialogsTest, FeedbackChecksLimitsSendsAndAnswersTheReply) {
  EventChain events;
  std::vector<std::pair<std::wstring, std::wstring>> sent;
  auto feed = std::make_unique<CFeedDialog>(
      DefaultSkin(), &events, [&](const std::wstring& content, const std::wstring& title) {
        sent.emplace_back(content, title);
      });
  HWND hwnd = Create(*feed, L"OBFeedDialog");
  feed->Show();
  ExpectModal(hwnd, true);
  auto& pm = feed->paint_manager();
  auto* title = static_cast<CRichEditUI*>(pm.FindControl(L"feedtitle"));
  auto* content = static_cast<CRichEditUI*>(pm.FindControl(L"feedlist"));
  ASSERT_TRUE(title && content);

  ASSERT_TRUE(test_driver::TypeInto(pm, L"feedtitle", L"abc"));
  ASSERT_TRUE(test_driver::TypeInto(pm, L"feedlist", L"0123456789"));
  ASSERT_TRUE(test_driver::Click(pm, L"confirmbtn"));
  EXPECT_EQ(TextOf(*feed, L"topicnum"), L"请在标题栏内输入4-30个字符。");
  EXPECT_TRUE(sent.empty());

  title->SetText(L"");
  content->SetText(L"012345678");
  ASSERT_TRUE(test_driver::Click(pm, L"confirmbtn"));
  EXPECT_EQ(TextOf(*feed, L"topicnum"), L"提交内容应在10-1000个字符以内。");
  EXPECT_TRUE(sent.empty());

  // The 31st title character warns at once; the next change clears the
  // note first and shows it again while the title stays too long.
  ASSERT_TRUE(test_driver::TypeInto(pm, L"feedtitle", std::wstring(30, L'题')));
  EXPECT_EQ(TextOf(*feed, L"topicnum"), L"");
  test_driver::TypeText(hwnd, L"x");
  EXPECT_EQ(TextOf(*feed, L"topicnum"), L"标题栏内容不能超过30个字。");
  test_driver::PressKey(hwnd, VK_BACK);
  EXPECT_EQ(TextOf(*feed, L"topicnum"), L"");

  // An empty title and ten characters of content are sent, by name.
  title->SetText(L"");
  content->SetText(L"0123456789");
  ASSERT_TRUE(test_driver::Click(pm, L"confirmbtn"));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, L"0123456789");
  EXPECT_EQ(sent[0].second, L"");
  ExpectModal(hwnd, true);  // open until the reply

  // A failed send warns and keeps the form and its texts.
  payload::SEVENT_RESPONSE_RecommendedAdd failed({}, L"", false);
  events.FireEvent(&failed);
  ASSERT_NE(feed->warning_dialog(), nullptr);
  HWND warning = feed->warning_dialog()->GetHWND();
  EXPECT_TRUE(IsWindowVisible(warning));
  EXPECT_FALSE(IsWindowEnabled(hwnd));
  EXPECT_EQ(TextOf(*feed->warning_dialog(), L"messagelabel"), L"网络错误，请稍后再试！");
  test_driver::PressKey(warning, VK_RETURN);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_EQ(content->GetText(), L"0123456789");
  payload::SEVENT_RESPONSE_RecommendedAdd refused({}, L"{\"Status\":1}", true);
  events.FireEvent(&refused);
  EXPECT_TRUE(IsWindowVisible(warning));
  test_driver::PressKey(warning, VK_ESCAPE);
  // A reply that is not JSON changes nothing.
  payload::SEVENT_RESPONSE_RecommendedAdd garbled({}, L"<html>", true);
  events.FireEvent(&garbled);
  EXPECT_FALSE(IsWindowVisible(warning));
  ExpectModal(hwnd, true);

  // Taken: the thank-you note, empty edits, the form closed.
  payload::SEVENT_RESPONSE_RecommendedAdd taken({}, L"{\"Status\":0}", true);
  events.FireEvent(&taken);
  ASSERT_NE(feed->message_dialog(), nullptr);
  HWND note = feed->message_dialog()->GetHWND();
  EXPECT_TRUE(IsWindowVisible(note));
  ExpectModal(hwnd, false);
  EXPECT_EQ(title->GetText(), L"");
  EXPECT_EQ(content->GetText(), L"");
  HeadlessBackend::Current()->AdvanceClock(1000);
  test_driver::Pump();
  EXPECT_FALSE(IsWindowVisible(note));
  EXPECT_FALSE(IsWindowVisible(hwnd)) << "the closed form is not brought back";
  EXPECT_TRUE(IsWindowEnabled(hwnd));

  // The form goes with its notes and stops listening.
  feed.reset();
  EXPECT_EQ(events.SubscriberCount(SEVENT_RESPONSE_RecommendedAdd), 0u);
  events.FireEvent(&taken);
}

// A dialog whose layout is missing is never made, never shown, and its
// owner stays usable; the log says why.
TEST_F(SmallDialogsTest, ADialogWithoutItsLayoutLeavesItsOwnerUsable) {
  TempDir empty;
  CWarningDialog warning(brx::util::Utf8ToWide(empty.path()));
  EXPECT_EQ(0u, warning.CreateOwned(*owner_, L"OBWarningDialog"));
  warning.Show(L"提示", L"账号或密码错误");
  EXPECT_TRUE(IsWindowEnabled(*owner_));
  owner_->notes.clear();
  test_driver::ClickAt(*owner_, {50, 50});
  warning.Close();
  EXPECT_TRUE(IsWindowEnabled(*owner_));
  CAboutDialog about(brx::util::Utf8ToWide(empty.path()), CAboutDialog::Info{});
  EXPECT_EQ(0u, about.CreateOwned(*owner_, L"OBAboutDialog"));
  about.Show();
  EXPECT_TRUE(IsWindowEnabled(*owner_));
}

}  // namespace
}  // namespace ombrix::test
