// The text box, choices and the browser slot as the user and the program
// work them.
#include <gtest/gtest.h>

#include "tests/uilib/headless_fixture.h"
#include "tests/uilib/skin_window.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/browser_slot_ui.h"
#include "uilib/controls/combo_ui.h"
#include "uilib/controls/list_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/rich_edit_ui.h"

namespace uilib::testing {
namespace {

namespace td = test_driver;

const wchar_t* kControls =
    LR"(<Window size="300,300"><VerticalLayout>
    <RichEdit name="post" height="60" multiline="true" wantreturn="true"/>
    <RichEdit name="line" height="24"/>
    <RichEdit name="digits" height="24" numberonly="true" readonly="true"/>
    <Option name="r1" height="20" group="g" selected="true"/>
    <Option name="r2" height="20" group="g" selected="true"/>
    <Option name="check" height="20"/>
    <List name="list" height="60"><ListLabelElement text="one"/><ListLabelElement text="two"/></List>
    <Combo name="combo" height="24"><ListLabelElement text="a"/><ListLabelElement text="b" selected="true"/></Combo>
    <Container name="host"><Browser name="web"/></Container>
  </VerticalLayout></Window>)";

class ControlsTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    w = std::make_unique<SkinWindow>(kControls);
    w->Create(0, L"controls", WS_POPUP, 0, 0, 0, 0, 0);
    ASSERT_TRUE(w->built);
    hwnd = w->GetHWND();
  }
  void TearDown() override {
    w.reset();
    HeadlessTest::TearDown();
  }
  template <typename T>
  T* Get(const wchar_t* name) {
    return static_cast<T*>(w->pm.FindControl(name));
  }
  std::unique_ptr<SkinWindow> w;
  HWND hwnd = 0;
};

TEST_F(ControlsTest, TextBoxesEditAsUsersExpect) {
  auto* post = Get<CRichEditUI>(L"post");
  auto* line = Get<CRichEditUI>(L"line");
  auto* digits = Get<CRichEditUI>(L"digits");
  ASSERT_TRUE(td::TypeInto(w->pm, L"post", L"ab"));
  td::PressKey(hwnd, VK_RETURN);
  td::TypeText(hwnd, L"cd");
  EXPECT_EQ(post->GetText(), L"ab\ncd") << "a multi-line edit that wants Enter keeps it";
  EXPECT_TRUE(w->keys.empty() || w->keys.front().second == VK_RETURN);

  ASSERT_TRUE(td::TypeInto(w->pm, L"line", L"hello"));
  td::PressKey(hwnd, VK_RETURN);
  EXPECT_EQ(line->GetText(), L"hello") << "a one-line edit leaves Enter to the window";
  td::PressKey(hwnd, VK_LEFT);
  td::PressKey(hwnd, VK_LEFT);
  td::TypeText(hwnd, L"X");
  EXPECT_EQ(line->GetText(), L"helXlo");
  td::PressKey(hwnd, VK_HOME);
  td::PressKey(hwnd, VK_DELETE);
  EXPECT_EQ(line->GetText(), L"elXlo");
  line->SetSel(1, 3);
  EXPECT_EQ(line->GetSelText(), L"lX");
  td::TypeText(hwnd, L"-");
  EXPECT_EQ(line->GetText(), L"e-lo") << "typing replaces the selection";
  line->SetSelAll();
  td::TypeText(hwnd, L"\b");
  EXPECT_EQ(line->GetText(), L"");

  // Tab leaves the edit instead of being typed into it.
  td::PressKey(hwnd, VK_TAB);
  EXPECT_EQ(w->pm.GetFocus(), digits);
  EXPECT_EQ(line->GetText(), L"");
  td::TypeText(hwnd, L"12");
  EXPECT_EQ(digits->GetText(), L"") << "read-only";
  digits->SetReadOnly(false);
  td::TypeText(hwnd, L"1x2");
  EXPECT_EQ(digits->GetText(), L"12") << "digits only";
  digits->SetText(L"3a4");
  EXPECT_EQ(digits->GetText(), L"34") << "the program's text is filtered too";

  // Hiding the focused edit takes the focus away.
  digits->SetVisible(false);
  EXPECT_EQ(w->pm.GetFocus(), nullptr);
}

TEST_F(ControlsTest, ChoicesKeepOneSelectionAndReportChanges) {
  auto* r1 = Get<COptionUI>(L"r1");
  auto* r2 = Get<COptionUI>(L"r2");
  auto* check = Get<COptionUI>(L"check");
  EXPECT_FALSE(r1->IsSelected()) << "the later selected option of a group wins at build time";
  EXPECT_TRUE(r2->IsSelected());
  EXPECT_TRUE(w->Notes().empty()) << "building sends no selectchanged";
  ASSERT_TRUE(td::Click(w->pm, L"r1"));
  EXPECT_TRUE(r1->IsSelected());
  EXPECT_FALSE(r2->IsSelected());
  ASSERT_TRUE(td::Click(w->pm, L"check"));
  ASSERT_TRUE(td::Click(w->pm, L"check"));
  EXPECT_FALSE(check->IsSelected()) << "an option without a group toggles";
  std::vector<std::wstring> changes;
  for (const auto& n : w->Notes()) {
    if (n.rfind(L"buttondown", 0) != 0) changes.push_back(n);
  }
  EXPECT_EQ(changes, (std::vector<std::wstring>{L"selectchanged:r1", L"selectchanged:check",
                                                L"selectchanged:check"}));
  check->SetEnabled(false);
  EXPECT_FALSE(check->Activate());
  EXPECT_FALSE(check->IsSelected());

  auto* list = Get<CListUI>(L"list");
  auto* combo = Get<CComboUI>(L"combo");
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetText(), L"b");
  w->notes.clear();
  ASSERT_TRUE(td::Click(w->pm, L"list"));  // its middle: the second row
  EXPECT_EQ(list->GetCurSel(), 1);
  td::PressKey(hwnd, VK_UP);
  td::PressKey(hwnd, VK_UP);
  EXPECT_EQ(list->GetCurSel(), 0) << "Up stops at the first row";
  list->SetFocus();
  td::PressKey(hwnd, VK_TAB);
  ASSERT_EQ(w->pm.GetFocus(), combo);
  td::PressKey(hwnd, VK_UP);
  EXPECT_EQ(combo->GetCurSel(), 0);
  EXPECT_EQ(w->Notes(), (std::vector<std::wstring>{L"itemselect:list", L"itemselect:list",
                                                   L"itemselect:combo"}));
  list->RemoveAll();
  EXPECT_EQ(list->GetCurSel(), -1);
  EXPECT_FALSE(list->SelectItem(0));
}

// The drop-down list runs a loop of its own; a window that goes while it
// is open (its object with it) is not touched when the list closes.
TEST(ComboDropDownTest, AWindowGoneWhileItsListIsOpenIsLeftAlone) {
  struct ClosingBackend : HeadlessBackend {
    using HeadlessBackend::HeadlessBackend;
    int RunDropDown(const std::vector<std::wstring>&, int, const RECT&, HWND) override {
      if (during) during();
      return 0;
    }
    std::function<void()> during;
  };
  HeadlessBackend::Options options;
  options.manual_clock = true;
  auto owned = std::make_unique<ClosingBackend>(options);
  ClosingBackend* backend = owned.get();
  std::unique_ptr<UiBackend> previous = SetUiBackend(std::move(owned));
  auto w = std::make_unique<SkinWindow>(kControls);
  w->Create(0, L"controls", WS_POPUP, 0, 0, 0, 0, 0);
  ASSERT_TRUE(w->built);
  auto* combo = static_cast<CComboUI*>(w->pm.FindControl(L"combo"));
  backend->during = [&] { w.reset(); };
  EXPECT_FALSE(
      combo->Activate());  // under the address checker, a use after the window is gone fails
  SetUiBackend(std::move(previous));
}

TEST_F(ControlsTest, TheBrowserSlotTellsWhereAndWhetherItIsShown) {
  struct Listener : BrowserSlotListener {
    void OnSlotChanged(const RECT& rc, bool visible) override {
      last = rc;
      shown = visible;
      ++calls;
    }
    RECT last{};
    bool shown = false;
    int calls = 0;
  } listener;
  auto* slot = Get<CBrowserSlotUI>(L"web");
  ASSERT_NE(slot, nullptr);
  w->pm.FindControl(POINT{0, 0});
  slot->SetListener(&listener);
  EXPECT_EQ(listener.calls, 1);
  EXPECT_TRUE(listener.shown);
  EXPECT_EQ(listener.last, slot->GetPos());
  EXPECT_GT(listener.last.Height(), 0);
  w->pm.FindControl(L"host")->SetVisible(false);
  EXPECT_FALSE(listener.shown) << "hiding a container hides the view inside it";
  w->pm.FindControl(L"host")->SetVisible(true);
  EXPECT_TRUE(listener.shown);
  SetWindowPos(hwnd, 0, 0, 0, 300, 400, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(listener.last.bottom, 400) << "the slot follows the layout";
  slot->SetListener(nullptr);
}

}  // namespace
}  // namespace uilib::testing
