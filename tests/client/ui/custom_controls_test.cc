#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "client/core/event_ids.h"
#include "client/core/web_events.h"
#include "client/ui/controls/control_context.h"
#include "client/ui/controls/ob_list_ui.h"
#include "client/ui/controls/ob_option_ui.h"
#include "client/ui/controls/ob_pic_button_ui.h"
#include "client/ui/controls/ob_user_button_ui.h"
#include "client/ui/controls/spin_edit.h"
#include "runtime/util/text_convert.h"
#include "tests/client/ui/test_window.h"
#include "tests/support/test_support.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/container_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/win_api.h"

using namespace uilib;

namespace ombrix::test {
namespace {

POINT Centre(CControlUI* control) {
  const RECT& rc = control->GetPos();
  return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

size_t Count(const std::vector<std::wstring>& notes, const std::wstring& note) {
  return static_cast<size_t>(std::count(notes.begin(), notes.end(), note));
}

// One window holding every custom control, driven through the real
// message and notification path.
class CustomControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessBackend();
    context_.skin_folder = FixtureSkin();
    context_.events = &events_;
    context_.user_folder = [this] { return brx::util::Utf8ToWide(temp_.path()); };
    context_.download = [this](const std::wstring& url, const std::wstring& file) {
      downloads_.emplace_back(url, file);
    };
    window_ = std::make_unique<TestWindow>(FixtureLayout(L"controls.xml"), false, &context_);
    hwnd_ = window_->CreateDefault();
    ASSERT_NE(hwnd_, 0u);
  }

  template <typename T = CControlUI>
  T* Find(const wchar_t* name) {
    T* control = window_->Find<T>(name);
    EXPECT_NE(control, nullptr) << brx::util::WideToUtf8(name);
    return control;
  }

  TempDir temp_;
  EventChain events_;
  ControlContext context_;
  std::vector<std::pair<std::wstring, std::wstring>> downloads_;
  std::unique_ptr<TestWindow> window_;
  HWND hwnd_ = 0;
};

TEST_F(CustomControlsTest, GroupedOptionsSelectOneSilentlyAndNeverToggleOff) {
  auto* a = Find<COBOptionUI>(L"opt_a");
  auto* b = Find<COBOptionUI>(L"opt_b");
  auto* hidden = Find<COBOptionUI>(L"opt_hidden");
  auto* loose = Find<COBOptionUI>(L"opt_loose");
  auto* late = Find<COBOptionUI>(L"opt_late");
  ASSERT_TRUE(a && b && hidden && loose && late);
  EXPECT_TRUE(a->IsSelected()) << "group, then selected";
  EXPECT_FALSE(late->IsSelected()) << "selected, then grouped: cleared";

  window_->notes.clear();
  test_driver::ClickAt(hwnd_, Centre(b));
  EXPECT_TRUE(b->IsSelected());
  EXPECT_FALSE(a->IsSelected());
  EXPECT_TRUE(hidden->IsSelected()) << "hidden siblings are left alone";
  EXPECT_EQ(Count(window_->notes, L"selectchanged:opt_b"), 1u);
  EXPECT_EQ(Count(window_->notes, L"selectchanged:opt_a"), 0u) << "the cleared sibling is not told";

  test_driver::ClickAt(hwnd_, Centre(b));
  EXPECT_TRUE(b->IsSelected()) << "a grouped option does not toggle off";
  EXPECT_EQ(Count(window_->notes, L"selectchanged:opt_b"), 1u);

  test_driver::ClickAt(hwnd_, Centre(loose));
  EXPECT_TRUE(loose->IsSelected());
  test_driver::ClickAt(hwnd_, Centre(loose));
  EXPECT_FALSE(loose->IsSelected());
  EXPECT_EQ(Count(window_->notes, L"selectchanged:opt_loose"), 2u);
  EXPECT_TRUE(b->IsSelected()) << "an ungrouped option leaves the group alone";
}

TEST_F(CustomControlsTest, SpinEditsStepTypeAndClamp) {
  SpinEdit whole;
  SpinEdit decimal;
  whole.Init(Find<CButtonUI>(L"intUp"), Find<CRichEditUI>(L"intEdit"), Find<CButtonUI>(L"intDown"),
             1, 60, 1, 5, SpinValue::Kind::kInteger);
  decimal.Init(Find<CButtonUI>(L"decUp"), Find<CRichEditUI>(L"decEdit"),
               Find<CButtonUI>(L"decDown"), 0.1f, 999.9f, 0.1f, 0.1f, SpinValue::Kind::kDecimal);
  window_->on_notify = [&](TNotifyUI& msg) {
    whole.HandleNotify(msg) || decimal.HandleNotify(msg);
  };
  CRichEditUI* whole_edit = whole.edit();
  CRichEditUI* decimal_edit = decimal.edit();
  ASSERT_TRUE(whole_edit && decimal_edit);
  EXPECT_EQ(whole_edit->GetText(), L"5");
  EXPECT_EQ(decimal_edit->GetText(), L"0.1");

  // A typed fraction never stays in an integer spin: shown and kept agree.
  whole_edit->SetText(L"2.7");
  whole.ParseText();
  EXPECT_EQ(whole_edit->GetText(), L"2");
  EXPECT_EQ(whole.value(), 2.0f);

  // Typing, through the real edit: above the maximum shows the maximum.
  whole_edit->SetText(L"");
  ASSERT_TRUE(test_driver::TypeInto(window_->paint_manager(), L"intEdit", L"99"));
  EXPECT_EQ(whole_edit->GetText(), L"60");
  EXPECT_EQ(whole.value(), 60.0f);
  ASSERT_TRUE(test_driver::Click(window_->paint_manager(), L"intUp"));
  EXPECT_EQ(whole.value(), 60.0f) << "stepping stops at the maximum";
  ASSERT_TRUE(test_driver::Click(window_->paint_manager(), L"intDown"));
  EXPECT_EQ(whole_edit->GetText(), L"59");

  whole_edit->SetText(L"0");
  whole.ParseText();
  EXPECT_EQ(whole_edit->GetText(), L"1") << "below the minimum shows the minimum";
  whole_edit->SetText(L"");
  whole.ParseText();
  EXPECT_EQ(whole_edit->GetText(), L"1") << "empty is the minimum";

  decimal_edit->SetText(L"2.35");
  decimal.ParseText();
  EXPECT_EQ(decimal_edit->GetText(), L"2.3");
  EXPECT_FLOAT_EQ(decimal.value(), 2.3f);
  ASSERT_TRUE(test_driver::Click(window_->paint_manager(), L"decUp"));
  EXPECT_EQ(decimal_edit->GetText(), L"2.4");

  whole.SetEnabled(false);
  EXPECT_FALSE(Find(L"intUp")->IsEnabled());
  EXPECT_FALSE(whole_edit->IsEnabled());
}

TEST_F(CustomControlsTest, PagedListShowsSelectsAndFetchesHeadImagesOnce) {
  auto* list = Find<COBListUI>(L"list");
  auto* empty = Find<COBListUI>(L"emptylist");
  ASSERT_TRUE(list && empty);
  list->BindPagingControls(Find<CContainerUI>(L"friends"));
  empty->BindPagingControls(Find<CContainerUI>(L"emptybox"));
  list->Clear();
  empty->Clear();
  window_->on_notify = [&](TNotifyUI& msg) {
    list->HandleNotify(msg);
    empty->HandleNotify(msg);
  };
  EXPECT_EQ(list->page_label_count(), 6);

  // Select all and none before any page is shown, and on a list without
  // tiles, are harmless.
  ASSERT_TRUE(test_driver::Click(window_->paint_manager(), L"selectAll"));
  for (int i = 0; i < 3; ++i) empty->AddRecord({L"e" + std::to_wstring(i), L"", L"nick", L"role"});
  EXPECT_EQ(empty->page_count(), 0);
  test_driver::ClickAt(
      hwnd_, Centre(static_cast<CContainerUI*>(Find(L"emptybox"))->FindSubControl(L"selectNull")));
  EXPECT_EQ(empty->GetSelectedAccounts(), L"");

  for (int i = 1; i <= 25; ++i) {
    std::wstring reference =
        i == 1 ? L"a,b,http://img.example/dir.v2/face.gif"
               : (i == 2 ? L"x," : L"http://img.example/u" + std::to_wstring(i % 3) + L".png");
    ASSERT_TRUE(list->AddRecord(
        {L"u" + std::to_wstring(i), reference, L"nick" + std::to_wstring(i), L"role", i % 5 == 0}));
  }
  EXPECT_EQ(list->page_count(), 3);
  // One download per address; an empty address asks nothing; the cache
  // file takes its extension from the file name only.
  ASSERT_EQ(downloads_.size(), 4u);
  EXPECT_EQ(downloads_[0].first, L"http://img.example/dir.v2/face.gif");
  std::filesystem::path cached(downloads_[0].second);
  EXPECT_EQ(cached.parent_path().filename(), "FriendsHeadImage");
  EXPECT_EQ(cached.extension(), ".gif");

  list->ShowPagingControls();
  ASSERT_TRUE(list->GoToPage(3));
  int shown = 0;
  for (int i = 0; i < 10; ++i) shown += list->GetItemAt(i)->IsVisible() ? 1 : 0;
  EXPECT_EQ(shown, 5) << "the last page holds users 21..25";
  EXPECT_FALSE(Find(L"page3")->IsEnabled()) << "the current page's label";
  EXPECT_TRUE(Find(L"prePage")->IsEnabled());
  EXPECT_FALSE(Find(L"nextPage")->IsEnabled());
  EXPECT_FALSE(Find(L"page4")->IsVisible());
  EXPECT_FALSE(list->GoToPage(4));

  ASSERT_TRUE(test_driver::Click(window_->paint_manager(), L"page1"));
  EXPECT_EQ(list->current_page(), 1);
  EXPECT_TRUE(Find(L"page3")->IsEnabled());
  auto* first_box =
      static_cast<CContainerUI*>(list->GetItemAt(0)->GetInterface(kInterfaceContainer));
  EXPECT_EQ(first_box->FindSubControl(L"NickNameLabel")->GetText(), L"nick1");
  auto* first_check = static_cast<COptionUI*>(first_box->FindSubControl(L"IsSelected"));
  EXPECT_TRUE(first_check->IsSelected()) << "users start selected";
  EXPECT_EQ(Find(L"selectAlready")->GetText(), L"[已选择 25 人]");

  test_driver::ClickAt(hwnd_, Centre(first_check));
  EXPECT_EQ(Find(L"selectAlready")->GetText(), L"[已选择 24 人]");
  EXPECT_EQ(list->GetSelectedAccounts().find(L"u1,"), std::wstring::npos);
  EXPECT_EQ(list->GetSelectedAccounts().substr(0, 7), L"u2,u3,u");

  ASSERT_TRUE(test_driver::Click(window_->paint_manager(), L"selectNull"));
  EXPECT_EQ(Find(L"selectAlready")->GetText(), L"[已选择 0 人]");
  EXPECT_FALSE(static_cast<COptionUI*>(
                   static_cast<CContainerUI*>(list->GetItemAt(1)->GetInterface(kInterfaceContainer))
                       ->FindSubControl(L"IsSelected"))
                   ->IsSelected())
      << "the shown page is redrawn";

  // A finished download: a GIF becomes a PNG beside it under ".jpg"; a
  // download the list did not ask for is none of its business.
  std::filesystem::copy_file(brx::util::WideToUtf8(FixtureLayout(L"head.gif")), cached);
  payload::SEVENT_RESPONSE_GameDownloadFile other({}, true, L"http://elsewhere/a.gif",
                                                  cached.wstring());
  events_.FireEvent(&other);
  EXPECT_EQ(list->HeadImageFor(L"http://elsewhere/a.gif"), L"");
  payload::SEVENT_RESPONSE_GameDownloadFile done({}, true, downloads_[0].first, cached.wstring());
  events_.FireEvent(&done);
  std::wstring shown_file = list->HeadImageFor(downloads_[0].first);
  ASSERT_TRUE(shown_file.ends_with(L".jpg"));
  std::string head = ReadFile(brx::util::WideToUtf8(shown_file)).substr(0, 4);
  EXPECT_EQ(head, "\x89PNG");
  list->ShowPage(1);
  EXPECT_EQ(first_box->FindSubControl(L"ImgContainer")->GetBkImage(), shown_file);

  // More pages than labels: navigation stops at the last label.
  list->Clear();
  for (int i = 0; i < 70; ++i) list->AddRecord({L"v" + std::to_wstring(i), L"", L"n", L"r"});
  list->ShowPagingControls();
  EXPECT_EQ(list->page_count(), 7);
  EXPECT_FALSE(list->GoToPage(7));
  ASSERT_TRUE(list->GoToPage(6));
  EXPECT_FALSE(Find(L"nextPage")->IsEnabled());
}

TEST_F(CustomControlsTest, PictureButtonMarkRemovesTheAttachment) {
  auto* pic = Find<COBPicButtonUI>(L"pic");
  ASSERT_NE(pic, nullptr);
  pic->SetAttached(true);
  const RECT& rc = pic->GetPos();
  POINT mark{rc.right - 4, rc.top + 4};
  test_driver::MouseMove(hwnd_, mark);
  window_->notes.clear();
  test_driver::ClickAt(hwnd_, mark);
  EXPECT_FALSE(pic->IsAttached());
  EXPECT_EQ(window_->notes, std::vector<std::wstring>{L"selectchanged:pic"})
      << "removing is not a click";
  EXPECT_NE(pic->GetNormalImage().find(L"close_hover.png"), std::wstring::npos);

  window_->notes.clear();
  test_driver::ClickAt(hwnd_, mark);
  EXPECT_EQ(window_->notes, std::vector<std::wstring>{L"click:pic"})
      << "without attachment the corner clicks";

  pic->SetEnabled(false);
  window_->notes.clear();
  EXPECT_FALSE(pic->Activate());
  test_driver::ClickAt(hwnd_, Centre(pic));
  EXPECT_TRUE(window_->notes.empty()) << "a disabled button does nothing";

  auto* user = Find<COBUserButtonUI>(L"user");
  CControlUI* box = Find(L"userbox");
  ASSERT_TRUE(user && box);
  test_driver::MouseMove(hwnd_, Centre(user));
  EXPECT_EQ(box->GetBkImage(), L"file='hot.png'");
  test_driver::MouseMove(hwnd_, {5, 620});
  EXPECT_EQ(box->GetBkImage(), L"file='plain.png'");
  test_driver::ClickAt(hwnd_, Centre(user));
  EXPECT_EQ(window_->notes.back(), L"click:user");
}

}  // namespace
}  // namespace ombrix::test
