// Where controls land and what they paint: layouts, image descriptions,
// regions, fonts, as pixels of a window snapshot.
#include <gtest/gtest.h>

#include <functional>

#include "runtime/util/text_convert.h"
#include "tests/uilib/headless_fixture.h"
#include "tests/uilib/skin_window.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/paint/image_spec.h"
#include "uilib/controls/label_ui.h"
#include "uilib/controls/rich_edit_ui.h"
#include "uilib/winsys/window_snapshot.h"

namespace uilib::testing {
namespace {

namespace td = test_driver;

class LayoutTest : public HeadlessTest {
 protected:
  std::unique_ptr<SkinWindow> Make(const std::string& xml) {
    auto w = std::make_unique<SkinWindow>(brx::util::Utf8ToWide(WriteSkin("layout.xml", xml)));
    w->Create(0, L"layout", WS_POPUP, 0, 0, 0, 0, 0);
    w->pm.FindControl(POINT{0, 0});  // lay out
    return w;
  }
  static RECT Pos(SkinWindow& w, const wchar_t* name) { return w.pm.FindControl(name)->GetPos(); }
  static uint32_t Pixel(SkinWindow& w, int x, int y) {
    uint32_t px = 0;
    EXPECT_TRUE(WindowSnapshotPixel(w.GetHWND(), POINT{x, y}, &px));
    return px;
  }
};

TEST_F(LayoutTest, StacksShareSpaceAfterFixedSizesPaddingAndInsets) {
  auto w =
      Make(R"(<Window size="200,100"><VerticalLayout name="root" inset="10,5,10,5" childpadding="2">
      <Control name="top" height="20"/>
      <HorizontalLayout name="row" childpadding="4">
        <Control name="a" width="30"/><Control name="b"/><Control name="c"/>
        <Control name="gone" width="50" visible="false"/>
        <Control name="small" width="20" height="10"/>
      </HorizontalLayout>
      <Control name="bottom" height="10" padding="5,0,5,0"/>
      <Control name="floating" float="true" pos="150,0,190,30"/>
    </VerticalLayout></Window>)");
  EXPECT_EQ(Pos(*w, L"root"), (RECT{0, 0, 200, 100}));
  EXPECT_EQ(Pos(*w, L"top"), (RECT{10, 5, 190, 25}));
  // 90 high inside, 20 + 10 fixed + 2 x 2 padding: the row gets 56.
  EXPECT_EQ(Pos(*w, L"row"), (RECT{10, 27, 190, 83}));
  EXPECT_EQ(Pos(*w, L"bottom"), (RECT{15, 85, 185, 95}));
  // 180 wide: 30 + 20 fixed, 3 gaps of 4 (the hidden one takes nothing), 118 shared.
  EXPECT_EQ(Pos(*w, L"a"), (RECT{10, 27, 40, 83}));
  EXPECT_EQ(Pos(*w, L"b"), (RECT{44, 27, 103, 83}));
  EXPECT_EQ(Pos(*w, L"c"), (RECT{107, 27, 166, 83}));
  EXPECT_EQ(Pos(*w, L"small"), (RECT{170, 50, 190, 60})) << "a fixed height is centred in its row";
  EXPECT_EQ(Pos(*w, L"floating"), (RECT{150, 0, 190, 30}));

  // The hit test finds the topmost control that takes the mouse.
  EXPECT_EQ(w->pm.FindControl(POINT{160, 10})->GetName(), L"floating");
  w->pm.FindControl(L"floating")->SetMouseEnabled(false);
  EXPECT_EQ(w->pm.FindControl(POINT{160, 10})->GetName(), L"top");
  w->pm.FindControl(L"gone")->SetVisible(true);
  w->pm.FindControl(POINT{0, 0});
  EXPECT_EQ(Pos(*w, L"b").Width(), 32) << "a shown control takes its place again";

  // Resizing the window lays the tree out again.
  SetWindowPos(w->GetHWND(), 0, 0, 0, 300, 100, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(Pos(*w, L"top"), (RECT{10, 5, 290, 25}));
}

TEST_F(LayoutTest, ImagesDrawTheirPartsAndFailingOnesAreDroppedOnce) {
  auto w = Make(R"(<Window size="160,60"><HorizontalLayout bkcolor="#FFFFFFFF">
      <Control name="cell" width="20" bkimage="file='sprite.png' source='40,0,60,20'"/>
      <Control name="stretch" width="80" bkimage="file='sprite.png' source='0,0,60,20' corner='20,0,20,0'"/>
      <Control name="masked" width="20" bkimage="file='sprite.png' source='0,0,20,20' mask='#FFFF0000'"/>
      <Control name="faded" width="20" bkimage="file='sprite.png' source='20,0,40,20' fade='0'"/>
      <Control name="missing" width="20" bkimage="file='nope.png'"/>
    </HorizontalLayout></Window>)");
  EXPECT_EQ(Pixel(*w, 10, 10), 0xFF0000FFu) << "the blue cell";
  EXPECT_EQ(Pixel(*w, 39, 10), 0xFFFF0000u) << "nine-patch: left edge kept";
  EXPECT_EQ(Pixel(*w, 41, 10), 0xFF00FF00u) << "nine-patch: middle stretched";
  EXPECT_EQ(Pixel(*w, 78, 10), 0xFF00FF00u);
  EXPECT_EQ(Pixel(*w, 81, 10), 0xFF0000FFu) << "nine-patch: right edge kept";
  EXPECT_EQ(Pixel(*w, 110, 10), 0xFFFFFFFFu) << "the mask colour is transparent";
  EXPECT_EQ(Pixel(*w, 130, 10), 0xFFFFFFFFu) << "fully faded";
  EXPECT_EQ(Pixel(*w, 150, 10), 0xFFFFFFFFu);
  EXPECT_EQ(w->pm.FindControl(L"missing")->GetBkImage(), L"")
      << "a failed image is not tried again";

  ImageSpec spec;
  ASSERT_TRUE(ImageSpec::Parse(
      L"file='a\\b.png' source='1,2,3,4' corner='1,1,1,1' fade='9' dest='0,0,5,5'", &spec));
  EXPECT_EQ(spec.file, L"a\\b.png");
  EXPECT_EQ(spec.source, (RECT{1, 2, 3, 4}));
  EXPECT_EQ(spec.fade, 9);
  EXPECT_TRUE(spec.has_dest);
  ASSERT_TRUE(ImageSpec::Parse(L"  plain.png ", &spec));
  EXPECT_EQ(spec.file, L"plain.png");
  EXPECT_FALSE(ImageSpec::Parse(L"source='0,0,1,1'", &spec));
  EXPECT_FALSE(ImageSpec::Parse(L"file='unterminated", &spec));
  RECT rc;
  EXPECT_FALSE(ParseRect(L"1,2,3", &rc));
  EXPECT_FALSE(ParseRect(L"1,2,3,x", &rc));
  uint32_t argb = 0;
  EXPECT_TRUE(ParseColor(L"#123456", &argb));
  EXPECT_EQ(argb, 0xFF123456u);
  EXPECT_TRUE(ParseColor(L"0x80FFFFFF", &argb));
  EXPECT_EQ(argb, 0x80FFFFFFu);
  EXPECT_FALSE(ParseColor(L"#12345", &argb));
  EXPECT_FALSE(ParseColor(L"red", &argb));
}

TEST_F(LayoutTest, RoundRectanglesLeaveOutTheirLastRowAndColumn) {
  Region plain = CreateRectRgn(0, 0, 10, 5);
  EXPECT_TRUE(plain.Contains(9, 4));
  EXPECT_FALSE(plain.Contains(10, 4));
  Region round = CreateRoundRectRgn(0, 0, 11, 11, 0, 0);
  EXPECT_EQ(round.Bounds(), (RECT{0, 0, 10, 10}));
  Region corner = CreateRoundRectRgn(0, 0, 101, 51, 20, 20);
  EXPECT_EQ(corner.Bounds(), (RECT{0, 0, 100, 50}));
  EXPECT_FALSE(corner.Contains(0, 0));
  EXPECT_FALSE(corner.Contains(2, 2));
  EXPECT_TRUE(corner.Contains(10, 0));
  EXPECT_TRUE(corner.Contains(0, 10));
  EXPECT_FALSE(corner.Contains(99, 49));
  EXPECT_TRUE(corner.Contains(50, 25));
  // A corner larger than the rectangle is clamped, not inverted.
  Region pill = CreateRoundRectRgn(0, 0, 21, 11, 100, 100);
  EXPECT_TRUE(pill.Contains(10, 5));
  EXPECT_FALSE(pill.Contains(0, 0));
  // The union keeps every pixel of both and nothing else.
  Region u;
  CombineRgn(&u, CreateRectRgn(0, 0, 5, 5), CreateRectRgn(3, 3, 8, 8), RGN_OR);
  EXPECT_TRUE(u.Contains(0, 0));
  EXPECT_TRUE(u.Contains(7, 7));
  EXPECT_TRUE(u.Contains(4, 6));
  EXPECT_FALSE(u.Contains(6, 1));
  EXPECT_FALSE(u.Contains(1, 6));
  EXPECT_EQ(u.Bounds(), (RECT{0, 0, 8, 8}));
  for (const RECT& a : u.Rects()) {
    for (const RECT& b : u.Rects()) {
      RECT overlap;
      if (&a != &b) {
        EXPECT_FALSE(IntersectRect(&overlap, a, b)) << "bands never overlap";
      }
    }
  }
}

TEST_F(LayoutTest, TextLabelsEditsAndOptionsPaint) {
  auto w = Make(R"(<Window size="200,90"><VerticalLayout bkcolor="#FFFFFFFF">
      <Label name="label" height="30" text="翎岚 Ombrix" textcolor="#FF000000" maxlength="2"/>
      <RichEdit name="edit" height="30" tiptext="hint" tipcolor="#FFFF0000" password="true"/>
      <Option name="check" height="30" text="remember"/>
    </VerticalLayout></Window>)");
  auto* label = static_cast<CLabelUI*>(w->pm.FindControl(L"label"));
  auto* edit = static_cast<CRichEditUI*>(w->pm.FindControl(L"edit"));
  ASSERT_TRUE(label && edit);
  // A cut label is narrower than the whole text.
  const int cut = label->GetTextWidth();
  label->SetMaxLength(0);
  EXPECT_GT(label->GetTextWidth(), cut);
  EXPECT_GT(cut, 0);

  auto count = [&](RECT area, const std::function<bool(uint32_t)>& match) {
    std::vector<uint32_t> px;
    int width = 0, height = 0;
    EXPECT_TRUE(WindowSnapshotPixels(w->GetHWND(), &px, &width, &height));
    int n = 0;
    for (int y = area.top; y < area.bottom && y < height; ++y)
      for (int x = area.left; x < area.right && x < width; ++x) n += match(px[y * width + x]);
    return n;
  };
  auto red_ish = [&](RECT area) {
    return count(area,
                 [](uint32_t p) { return ((p >> 16) & 0xFF) > 0xC0 && ((p >> 8) & 0xFF) < 0x80; });
  };
  const RECT hint_area{0, 30, 60, 60};
  EXPECT_GT(red_ish(hint_area), 0) << "the hint shows while the edit is empty";
  edit->SetText(L"secret");
  EXPECT_EQ(red_ish(hint_area), 0);
  EXPECT_TRUE(SaveWindowSnapshot(w->GetHWND(), OutputDir() + "/labels.png"));

  // The drawn check box shows the selection.
  const RECT box{1, 60, 15, 90};
  auto mark = [](uint32_t p) { return p == 0xFF2B5D8Cu; };
  EXPECT_EQ(count(box, mark), 0);
  ASSERT_TRUE(td::Click(w->pm, L"check"));
  EXPECT_GT(count(box, mark), 0);
}

}  // namespace
}  // namespace uilib::testing
