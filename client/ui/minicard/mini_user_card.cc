#include "client/ui/minicard/mini_user_card.h"

#include <cwchar>

#include "client/ui/script/jscript_dispatch.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/win_api.h"

namespace {

// A page number read as text: leading integer, else not a number.
bool ReadInt(const std::wstring& text, int* value) {
  wchar_t* end = nullptr;
  long v = std::wcstol(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  if (v > 100000) v = 100000;
  if (v < -100000) v = -100000;
  *value = static_cast<int>(v);
  return true;
}

}  // namespace

MiniUserCard::MiniUserCard(BrowserFactory factory) : factory_(std::move(factory)) {}

MiniUserCard::~MiniUserCard() {
  // The page must not reach a card that is going away.
  if (browser_) browser_->Close();
  browser_.reset();
  if (GetHWND() != 0) uilib::DestroyWindow(GetHWND());
}

bool MiniUserCard::CreateMiniCard(uilib::HWND main_window, uilib::BrowserHost* main_browser,
                                  const std::wstring& program_dir) {
  main_window_ = main_window;
  main_browser_ = main_browser;
  if (GetHWND() == 0 &&
      Create(main_window, L"", uilib::WS_POPUP, 0, 0, 0, kWidth, kCreateHeight) == 0) {
    return false;
  }
  if (browser_) return true;
  if (factory_) browser_ = factory_(GetHWND(), uilib::RECT{0, 0, kWidth, kCreateHeight});
  if (browser_) {
    std::string page = uilib::FileUrl(brx::util::WideToUtf8(program_dir) + "/html/ucard.htm");
    browser_->SetExternal(this, {page});
    browser_->Navigate(brx::util::Utf8ToWide(page));
  }
  return true;
}

void MiniUserCard::ShowMiniCard(const ScriptArgs& args) {
  if (GetHWND() == 0 || main_browser_ == nullptr || !main_browser_->IsLoadComplete()) return;
  uilib::RECT main{};
  uilib::GetWindowRect(main_window_, &main);
  uilib::RECT card{main.left - kWidth, main.top, main.left, main.top + kCreateHeight};
  if (args.size() != 3) return;
  int offset = 0;
  if (!ReadInt(args[1], &offset)) return;
  if (offset != 0) {
    card.top += offset + 186;
    card.bottom += offset + 186;
  }
  if (args[0] == L"show") {
    uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
    // The page lays out at the card's full height; a toolkit view also
    // holds its window at least as large as itself, so it follows the card.
    if (browser_) browser_->SetRect(uilib::RECT{0, 0, kWidth, kCreateHeight});
    uilib::SetWindowPos(GetHWND(), 0, card.left, card.top, kWidth, kCreateHeight, 0);
    pinned_ = true;
    uilib::CallJScript(browser_.get(), "RenderCardInfo", args[2]);
  } else {
    HideMiniCard();
  }
}

void MiniUserCard::HideMiniCard() {
  pinned_ = false;
  if (GetHWND() != 0) uilib::SetTimer(GetHWND(), kTimerId, kAutoHideMs);
}

void MiniUserCard::CheckAutoHide() {
  uilib::RECT rect{};
  uilib::GetWindowRect(GetHWND(), &rect);
  uilib::POINT cursor{};
  uilib::GetCursorPos(&cursor);
  bool inside = cursor.x >= rect.left && cursor.x < rect.right && cursor.y >= rect.top &&
                cursor.y < rect.bottom;
  if (inside || pinned_) return;
  uilib::KillTimer(GetHWND(), kTimerId);
  uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
}

uilib::Region MiniUserCard::CardRegion(int w, int h) {
  // The octagon through (3,0) (0,3) (0,h-4) (3,h-1) (w-3,h-1) (w,h-4)
  // (w,3) (w-3,0), filled as a polygon is: rows 0 .. h-2.
  uilib::Region region;
  for (int y = 0; y < h - 1; ++y) {
    int cut = 0;
    if (y < 3) cut = 3 - y;
    if (y > h - 4) cut = y - (h - 4);
    uilib::Region row = uilib::Region::FromRect(uilib::RECT{cut, y, w - cut, y + 1});
    region.Union(row);
  }
  return region;
}

void MiniUserCard::OnCardPageLoad(const ScriptArgs& args) {
  if (args.size() != 2 || GetHWND() == 0) return;
  int height = 0;
  if (!ReadInt(args[0], &height) || height < 0) return;
  uilib::RECT rect{};
  uilib::GetWindowRect(GetHWND(), &rect);
  int bottom = rect.top + height + 10;
  uilib::RECT main{};
  uilib::GetWindowRect(main_window_, &main);
  if (rect.top < 0) rect.top = 10;
  int screen_bottom = uilib::GetSystemMetrics(uilib::SM_CYFULLSCREEN);
  if (bottom > screen_bottom) rect.top = screen_bottom - height - 10;
  int w = rect.right - rect.left;
  if (main.left < w) {
    rect.left = main.right;
    rect.right = main.right + w;
  }
  if (browser_) browser_->SetRect(uilib::RECT{0, 0, rect.right - rect.left, height + 10});
  uilib::SetWindowPos(GetHWND(), 0, rect.left, rect.top, rect.right - rect.left, height + 10, 0);
  uilib::RECT now{};
  uilib::GetWindowRect(GetHWND(), &now);
  uilib::Region region = CardRegion(now.right - now.left, now.bottom - now.top);
  uilib::SetWindowRgn(GetHWND(), &region, true);
  // Only a card still asked for appears: a hide request that came while
  // the page was rendering (or a page load nobody asked for) keeps it
  // hidden, where it would otherwise stay up with no check running.
  if (pinned_) uilib::ShowWindow(GetHWND(), uilib::SW_SHOW);
}

void MiniUserCard::OnCardInvokeJs(const ScriptArgs& args) {
  if (args.size() != 1) return;
  CallPageFunction({args[0]}, "JsInvoked", main_browser_);
}

void MiniUserCard::OnCardClose() {
  if (GetHWND() != 0) uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
}

uilib::LRESULT MiniUserCard::HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                                           uilib::LPARAM lparam) {
  switch (msg) {
    case uilib::WM_CLOSE:
    case uilib::WM_DESTROY:
      uilib::ShowWindow(GetHWND(), uilib::SW_HIDE);
      return 0;
    case uilib::WM_TIMER:
      CheckAutoHide();
      break;
    default:
      break;
  }
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}

std::vector<std::string> MiniUserCard::ExternalMethodNames() const {
  return {"CB_OnLoad", "CB_InvokeJs", "CB_OnClose"};
}

void MiniUserCard::OnExternalCall(const std::string& name, const std::vector<std::wstring>& args) {
  if (name == "CB_OnLoad") OnCardPageLoad(args);
  if (name == "CB_InvokeJs") OnCardInvokeJs(args);
  if (name == "CB_OnClose") OnCardClose();
}
