// Layouts: what the builder accepts and refuses, custom tags, sub-layouts
// built while a layout is being built, and the controls with choices.
#include <gtest/gtest.h>

#include "runtime/util/text_convert.h"
#include "tests/uilib/headless_fixture.h"
#include "tests/uilib/skin_window.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/controls/button_ui.h"
#include "uilib/controls/combo_ui.h"
#include "uilib/controls/container_ui.h"
#include "uilib/controls/list_ui.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/controls/option_ui.h"
#include "uilib/winsys/popup_menu.h"

namespace uilib::testing {
namespace {

namespace td = test_driver;

// A custom tile list whose "count" builds that many items from a
// sub-layout, as the client's user list does.
class ItemList : public CTileLayoutUI {
 public:
  explicit ItemList(std::wstring item_skin) : item_skin_(std::move(item_skin)) {}
  LPCTSTR GetClass() const override { return L"ItemListUI"; }
  void SetAttribute(LPCTSTR name, LPCTSTR value) override {
    if (std::wstring(name) != L"count") return CTileLayoutUI::SetAttribute(name, value);
    for (int i = 0; i < ParseInt(value); ++i) {
      CDialogBuilder builder;
      CControlUI* item = builder.Create(item_skin_, nullptr, nullptr, GetManager(), this);
      if (!item) {
        RemoveAll();
        return;
      }
    }
  }

 private:
  std::wstring item_skin_;
};

class Callback : public IDialogBuilderCallback {
 public:
  explicit Callback(std::wstring item_skin) : item_skin_(std::move(item_skin)) {}
  CControlUI* CreateControl(LPCTSTR tag) override {
    asked.push_back(tag);
    if (std::wstring(tag) == L"ItemList") return new ItemList(item_skin_);
    return nullptr;
  }
  std::vector<std::wstring> asked;

 private:
  std::wstring item_skin_;
};

class BuilderTest : public HeadlessTest {};

TEST_F(BuilderTest, BuildsWindowValuesControlsAndNestedLayouts) {
  std::string item = WriteSkin("item.xml", R"(<HorizontalLayout height="30">
      <Label name="nick"/><Option name="pick" group="g1"/></HorizontalLayout>)");
  Callback callback(brx::util::Utf8ToWide(item));
  std::string path = WriteSkin("list.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="320,240" caption="2,0,2,30" roundcorner="4,6" mininfo="100,80">
  <Font name="Noto Sans CJK SC" size="14" bold="true" default="true"/>
  <VerticalLayout>
    <ItemList name="users" columns="2" count="3"/>
    <Text name="link" text="链接" tooltip="own tip"/>
  </VerticalLayout>
</Window>)");
  SkinWindow w(brx::util::Utf8ToWide(path), &callback);
  w.Create(0, L"list", WS_POPUP, 0, 0, 0, 10, 10);
  ASSERT_TRUE(w.built);
  EXPECT_EQ(w.pm.GetInitSize(), (SIZE{320, 240}));
  EXPECT_EQ(w.pm.GetCaptionRect(), (RECT{2, 0, 2, 30}));
  EXPECT_EQ(w.pm.GetRoundCorner(), (SIZE{4, 6}));
  EXPECT_EQ(w.pm.GetMinInfo(), (SIZE{100, 80}));
  EXPECT_EQ(w.pm.GetDefaultFontInfo().size, 14);
  EXPECT_TRUE(w.pm.GetDefaultFontInfo().bold);
  EXPECT_EQ(w.pm.FindControl(L"link")->GetText(), L"链接");

  auto* list = static_cast<ItemList*>(w.pm.FindControl(L"users"));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetCount(), 3) << "the sub-layouts built while the layout was built";
  EXPECT_EQ(callback.asked, (std::vector<std::wstring>{L"ItemList"}));
  EXPECT_EQ(w.pm.GetInitSize(), (SIZE{320, 240}))
      << "a sub-layout leaves the window's values alone";

  // Three options of one group from three item builds: picking one clears
  // the others without a notification for them.
  auto* first = static_cast<COptionUI*>(w.pm.FindSubControlByName(list->GetItemAt(0), L"pick"));
  auto* third = static_cast<COptionUI*>(w.pm.FindSubControlByName(list->GetItemAt(2), L"pick"));
  ASSERT_TRUE(first && third);
  ASSERT_TRUE(first->Activate());
  ASSERT_TRUE(third->Activate());
  EXPECT_FALSE(first->IsSelected());
  EXPECT_TRUE(third->IsSelected());
  EXPECT_EQ(w.Notes(), (std::vector<std::wstring>{L"selectchanged:pick", L"selectchanged:pick"}));
  ASSERT_TRUE(third->Activate());
  EXPECT_TRUE(third->IsSelected()) << "a grouped option stays selected when clicked again";
  EXPECT_EQ(w.Notes().size(), 2u);

  // Tiles: two columns, the third item on the second row.
  w.pm.FindControl(POINT{0, 0});
  EXPECT_EQ(list->GetItemAt(2)->GetPos().left, list->GetItemAt(0)->GetPos().left);
  EXPECT_GT(list->GetItemAt(2)->GetPos().top, list->GetItemAt(0)->GetPos().top);
  EXPECT_GT(list->GetItemAt(1)->GetPos().left, list->GetItemAt(0)->GetPos().left);

  // Look-ups of names the layout lacks answer null.
  EXPECT_EQ(w.pm.FindControl(L"no-such-control"), nullptr);

  // A text control clicks like a button.
  w.notes.clear();
  ASSERT_TRUE(td::Click(w.pm, L"link"));
  EXPECT_EQ(w.Notes(), (std::vector<std::wstring>{L"click:link"}));
}

TEST_F(BuilderTest, ToolTipsComeFromTheSkinFileUnlessAControlHasItsOwn) {
  std::string tips = WriteSkin("tooltips.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<ToolTips><Tip name="close" text="关闭"/><Tip name="help" text="from file"/></ToolTips>)");
  ASSERT_TRUE(CPaintManagerUI::InitToolTips(brx::util::Utf8ToWide(tips)));
  EXPECT_FALSE(CPaintManagerUI::InitToolTips(brx::util::Utf8ToWide(dir->Sub("none.xml"))));
  SkinWindow w(
      LR"(<Window size="100,40"><HorizontalLayout>
      <Button name="close" width="50"/><Button name="help" tooltip="own"/></HorizontalLayout></Window>)");
  w.Create(0, L"tips", WS_POPUP, 0, 0, 0, 0, 0);
  EXPECT_EQ(w.pm.FindControl(L"close")->GetToolTip(), L"关闭");
  EXPECT_EQ(w.pm.FindControl(L"help")->GetToolTip(), L"own");
  td::HoverAt(w.GetHWND(), POINT{10, 10});
  EXPECT_EQ(w.pm.GetShownToolTip(), L"关闭");
  td::MouseMove(w.GetHWND(), POINT{80, 10});
  EXPECT_EQ(w.pm.GetShownToolTip(), L"") << "moving to another control takes the tip away";
  // A click takes it away too; so does the window going under a modal
  // dialog, which also drops the hover outline.
  td::HoverAt(w.GetHWND(), POINT{80, 10});
  EXPECT_EQ(w.pm.GetShownToolTip(), L"own");
  td::MouseDown(w.GetHWND(), POINT{80, 10});
  EXPECT_EQ(w.pm.GetShownToolTip(), L"") << "a click takes the tip away";
  td::MouseUp(w.GetHWND(), POINT{80, 10});
  td::HoverAt(w.GetHWND(), POINT{10, 10});
  auto* close = static_cast<CButtonUI*>(w.pm.FindControl(L"close"));
  EXPECT_NE(close->GetButtonState() & UISTATE_HOT, 0u);
  EnableWindow(w.GetHWND(), false);
  EXPECT_EQ(w.pm.GetShownToolTip(), L"") << "a disabled window shows no tip";
  EXPECT_EQ(close->GetButtonState() & UISTATE_HOT, 0u) << "and no hover outline";
  EnableWindow(w.GetHWND(), true);
  // A window that a click hides (a menu, a dialog's button) shows no
  // outline from that click when it comes back.
  ShowWindow(w.GetHWND(), SW_SHOW);
  td::HoverAt(w.GetHWND(), POINT{10, 10});
  ASSERT_NE(close->GetButtonState() & UISTATE_HOT, 0u);
  ShowWindow(w.GetHWND(), SW_HIDE);
  EXPECT_EQ(w.pm.GetShownToolTip(), L"");
  ShowWindow(w.GetHWND(), SW_SHOW);
  EXPECT_EQ(close->GetButtonState() & UISTATE_HOT, 0u) << "no outline left from before";
  CPaintManagerUI::InitToolTips(brx::util::Utf8ToWide(WriteSkin("empty.xml", "<ToolTips/>")));
}

TEST_F(BuilderTest, RefusesMissingBrokenAndUnknownLayouts) {
  CPaintManagerUI pm;
  CDialogBuilder builder;
  EXPECT_EQ(builder.Create(brx::util::Utf8ToWide(dir->Sub("absent.xml")), nullptr, nullptr, &pm),
            nullptr);
  EXPECT_NE(builder.GetLastErrorMessage().find("cannot be opened"), std::string::npos);

  std::string broken = WriteSkin("broken.xml", "<Window><VerticalLayout></Window>");
  EXPECT_EQ(builder.Create(brx::util::Utf8ToWide(broken), nullptr, nullptr, &pm), nullptr);
  EXPECT_NE(builder.GetLastErrorMessage().find("not well-formed"), std::string::npos);

  Callback callback(L"");
  EXPECT_EQ(builder.Create(L"<Window><VerticalLayout><Gizmo name=\"g\"/></VerticalLayout></Window>",
                           nullptr, &callback, &pm),
            nullptr);
  EXPECT_NE(builder.GetLastErrorMessage().find("unknown control class <Gizmo>"), std::string::npos);
  EXPECT_EQ(callback.asked, (std::vector<std::wstring>{L"Gizmo"}));
  EXPECT_EQ(pm.FindControlQuiet(L"g"), nullptr) << "nothing of a failed layout stays registered";

  EXPECT_EQ(builder.Create(L"<Window><Label><Button/></Label></Window>", nullptr, nullptr, &pm),
            nullptr);
  EXPECT_EQ(builder.Create(L"<Window size=\"5,5\"/>", nullptr, nullptr, &pm), nullptr);

  // Inline text (with the declaration) works as a file does; a window built
  // from a failed layout has no controls and does not crash.
  CControlUI* root = builder.Create(
      L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window size=\"5,5\"><Container "
      L"name=\"ContainerNormal\"/></Window>",
      nullptr, nullptr, &pm);
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(builder.GetLastErrorMessage().empty());
  pm.AttachDialog(root);
  EXPECT_EQ(pm.FindControl(L"ContainerNormal"), root);
  SkinWindow empty(brx::util::Utf8ToWide(broken));
  empty.Create(0, L"empty", WS_POPUP, 0, 0, 0, 40, 40);
  EXPECT_FALSE(empty.built);
  td::ClickAt(empty.GetHWND(), POINT{5, 5});
  EXPECT_EQ(empty.pm.FindControl(POINT{5, 5}), nullptr);
}

TEST_F(BuilderTest, ListsCombosMenusAndTheTrayIcon) {
  SkinWindow w(
      LR"(<Window size="200,200"><VerticalLayout>
      <Combo name="province" height="24"><ListLabelElement text="A"/><ListLabelElement text="B"/></Combo>
      <List name="cities" height="100"><ListLabelElement text="x"/><ListLabelElement text="y"/></List>
    </VerticalLayout></Window>)");
  w.Create(0, L"lists", WS_POPUP, 0, 0, 0, 0, 0);
  HWND hwnd = w.GetHWND();
  auto* combo = static_cast<CComboUI*>(w.pm.FindControl(L"province"));
  auto* list = static_cast<CListUI*>(w.pm.FindControl(L"cities"));
  ASSERT_TRUE(combo && list);
  EXPECT_EQ(combo->GetCurSel(), -1);
  backend->QueueMenuChoice(2);  // the user picks the second row
  ASSERT_TRUE(td::Click(w.pm, L"province"));
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetText(), L"B");
  EXPECT_TRUE(combo->SelectItem(1)) << "no change, no notification";
  combo->RemoveAt(0);
  EXPECT_EQ(combo->GetCurSel(), 0);
  ASSERT_EQ(backend->ShownMenus().size(), 1u);
  EXPECT_EQ(backend->ShownMenus()[0].items().size(), 2u);

  w.pm.FindControl(POINT{0, 0});
  const RECT& row = list->GetItemAt(1)->GetPos();
  td::ClickAt(hwnd, POINT{row.left + 3, row.top + 3});
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_EQ(w.Notes(), (std::vector<std::wstring>{L"itemselect:province", L"itemselect:cities"}));

  // Menus: a grayed item cannot be chosen; a chosen one arrives as WM_COMMAND.
  PopupMenu menu;
  menu.Append(32784, L"系统设置");
  menu.AppendSeparator();
  menu.Append(1102, L"退出");
  RegisterMenuResource(160, menu);
  PopupMenu loaded = LoadMenu(160);
  ASSERT_TRUE(loaded.EnableMenuItem(32784, MF_GRAYED));
  backend->QueueMenuChoice(32784);
  EXPECT_EQ(TrackPopupMenu(loaded, POINT{5, 5}, hwnd), 0u);
  backend->QueueMenuChoice(1102);
  EXPECT_EQ(TrackPopupMenu(loaded, POINT{5, 5}, hwnd), 1102u);
  td::Pump();
  EXPECT_EQ(w.commands, (std::vector<UINT>{1102}));

  // The tray icon reports mouse activity as its callback message.
  std::unique_ptr<NotifyIcon> icon = GetUiBackend().CreateNotifyIcon();
  EXPECT_FALSE(backend->PostTrayMouseForTesting(WM_MOUSEMOVE));
  ASSERT_TRUE(icon->Add(hwnd, 2324, 156, L"Ombrix-offline"));
  ASSERT_TRUE(icon->Modify(157, L"Ombrix-online"));
  w.user_message = 2324;
  ASSERT_TRUE(backend->PostTrayMouseForTesting(WM_LBUTTONDBLCLK));
  td::Pump();
  EXPECT_EQ(w.user_lparams, (std::vector<LPARAM>{WM_LBUTTONDBLCLK}));
  EXPECT_EQ(icon->GetIconId(), 157);
  icon.reset();
  EXPECT_EQ(backend->ActionsOf("tray-delete").size(), 1u);
  EXPECT_FALSE(backend->PostTrayMouseForTesting(WM_MOUSEMOVE));
}

}  // namespace
}  // namespace uilib::testing
