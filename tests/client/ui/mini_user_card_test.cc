#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/ui/minicard/mini_user_card.h"
#include "runtime/logmaker/log.h"
#include "tests/client/ui/fake_browser_host.h"
#include "tests/client/ui/test_window.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/testing/ui_test_driver.h"
#include "uilib/winsys/win_api.h"
#include "uilib/winsys/window_wnd.h"

namespace ombrix::test {
namespace {

class MainStandIn : public uilib::CWindowWnd {
 public:
  uilib::LPCTSTR GetWindowClassName() const override { return L"OBCardTestMain"; }
};

struct CardFixture {
  MainStandIn main;
  FakeBrowserHost main_page;
  FakeBrowserHost* card_page = nullptr;
  std::unique_ptr<MiniUserCard> card;

  explicit CardFixture(uilib::RECT main_rect) {
    UseHeadlessBackend();
    main.Create(0, L"main", uilib::WS_POPUP, 0, main_rect.left, main_rect.top,
                main_rect.right - main_rect.left, main_rect.bottom - main_rect.top);
    main_page.SetExternal(nullptr, {"file:///opt/ombrix/html/"});
    main_page.Navigate(L"file:///opt/ombrix/html/Default.html");
    main_page.FinishLoad(L"default");
    card = std::make_unique<MiniUserCard>([this](uilib::HWND, const uilib::RECT& rect) {
      auto page = std::make_unique<FakeBrowserHost>();
      page->SetRect(rect);
      card_page = page.get();
      return page;
    });
    EXPECT_TRUE(card->CreateMiniCard(main, &main_page, L"/opt/ombrix"));
  }
  uilib::RECT CardRect() const {
    uilib::RECT r{};
    uilib::GetWindowRect(card->GetHWND(), &r);
    return r;
  }
  bool Visible() const { return uilib::IsWindowVisible(card->GetHWND()); }
  // The card page reports its height.
  bool PageLoaded(int height) {
    return card_page->SimulateExternalCall("CB_OnLoad", {std::to_wstring(height), L"x"});
  }
  void Tick(uint32_t ms) {
    uilib::HeadlessBackend::Current()->AdvanceClock(ms);
    uilib::PumpPendingMessages();
  }
};

TEST(MiniUserCard, PlacementBesideTheMainWindowAndItsShape) {
  CardFixture f({1000, 200, 1400, 700});
  ASSERT_NE(nullptr, f.card_page);
  EXPECT_EQ(L"file:///opt/ombrix/html/ucard.htm", f.card_page->navigations.at(0));
  EXPECT_FALSE(f.Visible());

  f.card->ShowMiniCard({L"show", L"0", L"{\"n\":1}"});
  EXPECT_EQ((uilib::RECT{714, 200, 1000, 800}), f.CardRect());
  EXPECT_FALSE(f.Visible());  // until the page has its height
  EXPECT_TRUE(f.card->pinned());
  ASSERT_EQ(1u, f.card_page->CallsOf("RenderCardInfo").size());
  EXPECT_EQ(L"{\"n\":1}", f.card_page->CallsOf("RenderCardInfo")[0].args[0]);
  ASSERT_TRUE(f.PageLoaded(133));
  EXPECT_TRUE(f.Visible());
  EXPECT_EQ((uilib::RECT{714, 200, 1000, 343}), f.CardRect());
  auto region = uilib::GetWindowRgn(f.card->GetHWND());
  ASSERT_TRUE(region.has_value());
  EXPECT_EQ((uilib::RECT{0, 0, 286, 142}), region->Bounds());  // bottom edge at h - 1
  EXPECT_FALSE(region->Contains(0, 0));
  EXPECT_FALSE(region->Contains(2, 0));
  EXPECT_TRUE(region->Contains(3, 0));
  EXPECT_TRUE(region->Contains(0, 3));
  EXPECT_FALSE(region->Contains(285, 1));
  EXPECT_TRUE(region->Contains(285, 138));
  EXPECT_FALSE(region->Contains(285, 141));

  // Offset 20 puts it 206 lower; a wrong count or a non-number does nothing.
  f.card->ShowMiniCard({L"show", L"20", L"{}"});
  EXPECT_EQ(406, f.CardRect().top);
  EXPECT_FALSE(f.Visible());
  f.card->ShowMiniCard({L"show", L"0"});
  f.card->ShowMiniCard({L"show", L"abc", L"{}"});
  EXPECT_EQ(406, f.CardRect().top);
  EXPECT_EQ(2u, f.card_page->CallsOf("RenderCardInfo").size());

  // The card page passes a text to the main page, and closes itself.
  ASSERT_TRUE(f.card_page->SimulateExternalCall("CB_InvokeJs", {L"follow:7"}));
  ASSERT_EQ(1u, f.main_page.CallsOf("JsInvoked").size());
  EXPECT_EQ(L"follow:7", f.main_page.CallsOf("JsInvoked")[0].args[0]);
  f.card_page->SimulateExternalCall("CB_InvokeJs", {L"a", L"b"});
  EXPECT_EQ(1u, f.main_page.CallsOf("JsInvoked").size());
  ASSERT_TRUE(f.PageLoaded(100));
  ASSERT_TRUE(f.Visible());
  ASSERT_TRUE(f.card_page->SimulateExternalCall("CB_OnClose", {}));
  EXPECT_FALSE(f.Visible());
  EXPECT_TRUE(f.card->pinned());
  EXPECT_FALSE(f.card_page->SimulateExternalCall("CB_SendHttpRequest", {L"a", L"b", L"c", L"d"}));
}

TEST(MiniUserCard, KeptOnTheScreen) {
  int cy = uilib::GetSystemMetrics(uilib::SM_CYFULLSCREEN);
  {
    // Too low: lifted so that its bottom is the screen's.
    CardFixture f({1000, cy - 100, 1400, cy + 300});
    f.card->ShowMiniCard({L"show", L"0", L"{}"});
    ASSERT_TRUE(f.PageLoaded(300));
    EXPECT_EQ((uilib::RECT{714, cy - 310, 1000, cy}), f.CardRect());
  }
  {
    // No room on the left: the card goes to the main window's right.
    CardFixture f({100, 200, 500, 700});
    f.card->ShowMiniCard({L"show", L"0", L"{}"});
    ASSERT_TRUE(f.PageLoaded(90));
    EXPECT_EQ((uilib::RECT{500, 200, 786, 300}), f.CardRect());
  }
  {
    // Above the screen: moved to 10 (the bottom test uses the old top).
    CardFixture f({1000, -50, 1400, 450});
    f.card->ShowMiniCard({L"show", L"0", L"{}"});
    ASSERT_TRUE(f.PageLoaded(90));
    EXPECT_EQ((uilib::RECT{714, 10, 1000, 110}), f.CardRect());
  }
}

TEST(MiniUserCard, HideRequestsWaitForThePointerToLeave) {
  CardFixture f({1000, 200, 1400, 700});
  auto* backend = uilib::HeadlessBackend::Current();
  // Not before the main page has loaded.
  f.main_page.Navigate(L"file:///opt/ombrix/html/Default.html");
  f.card->ShowMiniCard({L"show", L"0", L"{}"});
  EXPECT_FALSE(f.card->pinned());
  f.main_page.FinishLoad(L"default");

  f.card->ShowMiniCard({L"show", L"0", L"{}"});
  ASSERT_TRUE(f.PageLoaded(133));
  ASSERT_TRUE(f.Visible());
  backend->SetCursorPos({800, 250});             // over the card
  f.card->ShowMiniCard({L"Show", L"0", L"{}"});  // any other mode hides
  EXPECT_FALSE(f.card->pinned());
  f.Tick(200);
  f.Tick(200);
  EXPECT_TRUE(f.Visible());
  backend->SetCursorPos({10, 10});
  f.Tick(200);
  EXPECT_FALSE(f.Visible());
  // The check stopped with the hide: a later show is not undone.
  f.card->ShowMiniCard({L"show", L"0", L"{}"});
  ASSERT_TRUE(f.PageLoaded(133));
  f.Tick(400);
  EXPECT_TRUE(f.Visible());

  // A hide then a show before the tick: the card stays.
  f.card->HideMiniCard();
  f.card->ShowMiniCard({L"show", L"0", L"{}"});
  ASSERT_TRUE(f.PageLoaded(133));
  f.Tick(200);
  EXPECT_TRUE(f.Visible());
  EXPECT_TRUE(f.card->pinned());
}

TEST(MiniUserCard, APageLoadNobodyAsksForDoesNotShowTheCard) {
  CardFixture f({1000, 200, 1400, 700});
  // The card page's first load, before any request.
  ASSERT_TRUE(f.PageLoaded(133));
  EXPECT_FALSE(f.Visible());
  // Hidden again while the page was still rendering.
  uilib::HeadlessBackend::Current()->SetCursorPos({10, 10});
  f.card->ShowMiniCard({L"show", L"0", L"{}"});
  f.card->ShowMiniCard({L"hide", L"0", L"{}"});
  f.Tick(200);
  ASSERT_TRUE(f.PageLoaded(133));
  f.Tick(200);
  EXPECT_FALSE(f.Visible());
}

// The application log's warning lines, as written.
struct LogLines : brx::logmaker::ILogWriter {
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static void Install() {
    static bool installed = false;
    if (!installed) brx::logmaker::GetAppLogger()->AddWriter(std::make_unique<LogLines>());
    installed = true;
    Lines().clear();
  }
  void Write(const brx::logmaker::LogRecord& record) override { Lines().push_back(record.line); }
  void WriteText(const char*) override {}
  static bool Has(const std::string& text) {
    for (const std::string& line : Lines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

// A card page that lacks the render function, or whose function throws,
// leaves one warning each, naming the call.
TEST(MiniUserCard, ACardPageThatCannotRenderSaysSoInTheLog) {
  LogLines::Install();
  CardFixture f({1000, 200, 1400, 700});
  f.card_page->missing_functions = {"RenderCardInfo"};
  f.card->ShowMiniCard({L"show", L"0", L"{\"n\":1}"});
  EXPECT_TRUE(LogLines::Has("CallJScript[GetIDsOfNames failed] RenderCardInfo({\"n\":1})"));
  f.card_page->missing_functions.clear();
  f.card_page->throwing_functions = {"RenderCardInfo"};
  f.card->ShowMiniCard({L"show", L"0", L"{\"n\":2}"});
  EXPECT_TRUE(LogLines::Has("CallJScript[Invoke failed:-2147352567] RenderCardInfo({\"n\":2})"));
  f.card_page->throwing_functions.clear();
  size_t lines = LogLines::Lines().size();
  f.card->ShowMiniCard({L"show", L"0", L"{}"});
  EXPECT_EQ(lines, LogLines::Lines().size());
}

}  // namespace
}  // namespace ombrix::test
