#include "uilib/controls/paint_manager_ui.h"

#include <tinyxml.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "uilib/paint/image_cache.h"
#include "uilib/controls/option_ui.h"
#include "uilib/paint/render_engine.h"
#include "uilib/winsys/ui_backend.h"
#include "uilib/winsys/win_api.h"

namespace uilib {

namespace {

struct Globals {
  std::mutex mutex;
  uintptr_t instance = 0;
  std::map<std::wstring, std::wstring> tooltips;
  std::wstring resource_path;
  std::map<HWND, CPaintManagerUI*> managers;
};

Globals& G() {
  static Globals* g = new Globals;
  return *g;
}

}  // namespace

CPaintManagerUI::CPaintManagerUI() : m_images(std::make_unique<ImageCache>()) {}

CPaintManagerUI::~CPaintManagerUI() {
  *m_alive = false;
  if (m_hWndPaint) {
    std::lock_guard<std::mutex> lock(G().mutex);
    auto it = G().managers.find(m_hWndPaint);
    if (it != G().managers.end() && it->second == this) G().managers.erase(it);
  }
  for (const TimerInfo& t : m_timers) uilib::KillTimer(m_hWndPaint, t.window_id);
  m_timers.clear();
  m_pRoot.reset();
}

void CPaintManagerUI::Init(HWND hWnd) {
  m_hWndPaint = hWnd;
  std::lock_guard<std::mutex> lock(G().mutex);
  G().managers[hWnd] = this;
}

CPaintManagerUI* CPaintManagerUI::FromWindow(HWND hWnd) {
  std::lock_guard<std::mutex> lock(G().mutex);
  auto it = G().managers.find(hWnd);
  return it == G().managers.end() ? nullptr : it->second;
}

void CPaintManagerUI::SetResourceInstance(uintptr_t hInst) {
  std::lock_guard<std::mutex> lock(G().mutex);
  G().instance = hInst;
}

uintptr_t CPaintManagerUI::GetResourceInstance() {
  std::lock_guard<std::mutex> lock(G().mutex);
  return G().instance;
}

bool CPaintManagerUI::InitToolTips(const std::wstring& path) {
  std::string file = brx::util::WideToUtf8(path);
  std::replace(file.begin(), file.end(), '\\', '/');
  TiXmlDocument doc;
  if (!doc.LoadFile(file.c_str(), TIXML_ENCODING_UTF8)) {
    LogWarnA("InitToolTips: cannot read %s: %s\n", file.c_str(), doc.ErrorDesc());
    return false;
  }
  std::map<std::wstring, std::wstring> tips;
  TiXmlElement* root = doc.RootElement();
  for (TiXmlElement* e = root ? root->FirstChildElement("Tip") : nullptr; e;
       e = e->NextSiblingElement("Tip")) {
    const char* name = e->Attribute("name");
    const char* text = e->Attribute("text");
    if (name && text) tips[brx::util::Utf8ToWide(name)] = brx::util::Utf8ToWide(text);
  }
  std::lock_guard<std::mutex> lock(G().mutex);
  G().tooltips = std::move(tips);
  return true;
}

std::wstring CPaintManagerUI::GetToolTipFor(const std::wstring& control_name) {
  std::lock_guard<std::mutex> lock(G().mutex);
  auto it = G().tooltips.find(control_name);
  return it == G().tooltips.end() ? L"" : it->second;
}

void CPaintManagerUI::SetResourcePath(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(G().mutex);
  G().resource_path = path;
}

std::wstring CPaintManagerUI::GetResourcePath() {
  std::lock_guard<std::mutex> lock(G().mutex);
  return G().resource_path;
}

std::wstring CPaintManagerUI::GetSkinFolder() const {
  return m_sSkinFolder.empty() ? GetResourcePath() : m_sSkinFolder;
}

void CPaintManagerUI::SetSkinFolder(const std::wstring& folder) { m_sSkinFolder = folder; }

bool CPaintManagerUI::TranslateMessage(const MSG* pMsg) {
  if (!pMsg || !pMsg->hwnd) return false;
  CPaintManagerUI* pm = FromWindow(pMsg->hwnd);
  if (!pm) return false;
  LRESULT res = 0;
  return pm->PreMessageHandler(pMsg->message, pMsg->wParam, pMsg->lParam, res);
}

bool CPaintManagerUI::AttachDialog(CControlUI* pControl) {
  if (m_pRoot) {
    m_pFocus = m_pEventHover = m_pEventClick = nullptr;
    m_pRoot.reset();
  }
  if (!pControl) return false;
  m_pRoot.reset(pControl);
  m_bUpdateNeeded = true;
  m_bFirstLayout = true;
  InitControls(pControl, nullptr);
  Invalidate();
  return true;
}

bool CPaintManagerUI::InitControls(CControlUI* pControl, CControlUI* pParent) {
  if (!pControl) return false;
  pControl->SetManager(this, pParent ? pParent : pControl->GetParent(), true);
  return true;
}

void CPaintManagerUI::ReapObjects(CControlUI* pControl) {
  if (pControl == m_pFocus) m_pFocus = nullptr;
  if (pControl == m_pEventHover) m_pEventHover = nullptr;
  if (pControl == m_pEventClick) m_pEventClick = nullptr;
  KillTimers(pControl);
  for (auto it = m_names.begin(); it != m_names.end();) {
    if (it->second == pControl)
      it = m_names.erase(it);
    else
      ++it;
  }
  auto it = std::find(m_controls.begin(), m_controls.end(), pControl);
  if (it != m_controls.end()) m_controls.erase(it);
}

void CPaintManagerUI::NameChanged(CControlUI* pControl, const std::wstring& old_name) {
  if (std::find(m_controls.begin(), m_controls.end(), pControl) == m_controls.end())
    m_controls.push_back(pControl);
  for (auto it = m_names.begin(); it != m_names.end();) {
    if (it->second == pControl)
      it = m_names.erase(it);
    else
      ++it;
  }
  (void)old_name;
  if (!pControl->GetName().empty()) m_names.emplace(pControl->GetName(), pControl);
}

std::vector<COptionUI*> CPaintManagerUI::GetOptionGroup(const std::wstring& group) const {
  std::vector<COptionUI*> out;
  if (group.empty()) return out;
  for (CControlUI* c : m_controls) {
    auto* option = static_cast<COptionUI*>(c->GetInterface(L"Option"));
    if (option && option->GetGroup() == group) out.push_back(option);
  }
  return out;
}

void CPaintManagerUI::SetInitSize(int cx, int cy) { m_szInitWindowSize = SIZE{cx, cy}; }
void CPaintManagerUI::SetRoundCorner(int cx, int cy) { m_szRoundCorner = SIZE{cx, cy}; }
void CPaintManagerUI::SetMinInfo(int cx, int cy) { m_szMinWindow = SIZE{cx, cy}; }
void CPaintManagerUI::SetMaxInfo(int cx, int cy) { m_szMaxWindow = SIZE{cx, cy}; }

int CPaintManagerUI::AddFont(const FontInfo& font, bool bDefault) {
  m_fonts.push_back(font);
  if (bDefault) m_defaultFont = font;
  return static_cast<int>(m_fonts.size()) - 1;
}

const FontInfo& CPaintManagerUI::GetFont(int index) const {
  if (index < 0 || index >= static_cast<int>(m_fonts.size())) return m_defaultFont;
  return m_fonts[index];
}

int CPaintManagerUI::GetDefaultFontHeight() const {
  return CRenderEngine::MeasureText(const_cast<CPaintManagerUI*>(this), L"Ag", -1).cy;
}

std::string CPaintManagerUI::ResolvePath(const std::wstring& file) const {
  std::string path = brx::util::WideToUtf8(file);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || path[0] == '/') return path;
  std::string folder = brx::util::WideToUtf8(GetSkinFolder());
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.empty()) return path;
  if (folder.back() != '/') folder.push_back('/');
  return folder + path;
}

cairo_surface_t* CPaintManagerUI::GetImage(const std::wstring& file) {
  return GetMaskedImage(file, 0x01000000);
}

cairo_surface_t* CPaintManagerUI::GetMaskedImage(const std::wstring& file, uint32_t mask_argb) {
  // 0x01000000 is no colour anybody writes: it stands for "no mask".
  const bool use_mask = mask_argb != 0x01000000;
  return m_images->Get(ResolvePath(file), use_mask, mask_argb);
}

CControlUI* CPaintManagerUI::FindControlQuiet(LPCTSTR pstrName) const {
  if (!pstrName) return nullptr;
  auto it = m_names.find(pstrName);
  return it == m_names.end() ? nullptr : it->second;
}

CControlUI* CPaintManagerUI::FindControl(LPCTSTR pstrName) const {
  CControlUI* control = FindControlQuiet(pstrName);
  if (!control) {
    LogWarn(L"FindControl: the layout of window %ls has no control named \"%ls\"\n",
            GetWindowClassName(m_hWndPaint).c_str(), pstrName ? pstrName : L"(null)");
  }
  return control;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* pParent, LPCTSTR pstrName) const {
  if (!pParent || !pstrName) return nullptr;
  std::wstring name = pstrName;
  return pParent->FindControl(
      [&name](CControlUI* c, void*) -> CControlUI* { return c->GetName() == name ? c : nullptr; },
      nullptr, UIFIND_ALL);
}

CControlUI* CPaintManagerUI::ControlAt(POINT pt) const {
  if (!m_pRoot) return nullptr;
  return m_pRoot->FindControl([](CControlUI* c, void*) -> CControlUI* { return c; }, &pt,
                              UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  const_cast<CPaintManagerUI*>(this)->EnsureLayout();
  return ControlAt(pt);
}

bool CPaintManagerUI::AddNotifier(INotifyUI* pNotifier) {
  if (!pNotifier ||
      std::find(m_notifiers.begin(), m_notifiers.end(), pNotifier) != m_notifiers.end())
    return false;
  m_notifiers.push_back(pNotifier);
  return true;
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* pNotifier) {
  auto it = std::find(m_notifiers.begin(), m_notifiers.end(), pNotifier);
  if (it == m_notifiers.end()) return false;
  m_notifiers.erase(it);
  return true;
}

void CPaintManagerUI::SendNotify(TNotifyUI& Msg) {
  // A notifier may add or remove notifiers while it runs.
  std::vector<INotifyUI*> notifiers = m_notifiers;
  std::shared_ptr<bool> alive = m_alive;
  for (INotifyUI* n : notifiers) {
    if (std::find(m_notifiers.begin(), m_notifiers.end(), n) == m_notifiers.end()) continue;
    n->Notify(Msg);
    if (!*alive) return;
  }
}

void CPaintManagerUI::SendNotify(CControlUI* pControl, LPCTSTR pstrMessage, WPARAM wParam,
                                 LPARAM lParam) {
  TNotifyUI msg;
  msg.sType = pstrMessage ? pstrMessage : L"";
  msg.pSender = pControl;
  msg.dwTimestamp = GetUiBackend().Now();
  msg.ptMouse = m_ptLastMousePos;
  msg.wParam = wParam;
  msg.lParam = lParam;
  SendNotify(msg);
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* pFilter) {
  if (!pFilter ||
      std::find(m_preFilters.begin(), m_preFilters.end(), pFilter) != m_preFilters.end())
    return false;
  m_preFilters.push_back(pFilter);
  return true;
}

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* pFilter) {
  auto it = std::find(m_preFilters.begin(), m_preFilters.end(), pFilter);
  if (it == m_preFilters.end()) return false;
  m_preFilters.erase(it);
  return true;
}

bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* pFilter) {
  if (!pFilter || std::find(m_filters.begin(), m_filters.end(), pFilter) != m_filters.end())
    return false;
  m_filters.push_back(pFilter);
  return true;
}

bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* pFilter) {
  auto it = std::find(m_filters.begin(), m_filters.end(), pFilter);
  if (it == m_filters.end()) return false;
  m_filters.erase(it);
  return true;
}

void CPaintManagerUI::SetFocus(CControlUI* pControl) {
  if (pControl == m_pFocus) return;
  if (pControl && (!pControl->IsVisible() || !pControl->IsEnabled())) return;
  CControlUI* old = m_pFocus;
  m_pFocus = nullptr;
  if (old) {
    TEventUI event;
    event.Type = UIEVENT_KILLFOCUS;
    event.pSender = pControl;
    event.dwTimestamp = GetUiBackend().Now();
    old->Event(event);
  }
  if (pControl && pControl->GetManager() == this) {
    m_pFocus = pControl;
    TEventUI event;
    event.Type = UIEVENT_SETFOCUS;
    event.pSender = pControl;
    event.dwTimestamp = GetUiBackend().Now();
    pControl->Event(event);
  }
}

bool CPaintManagerUI::SetNextTabControl(bool bForward) {
  if (!m_pRoot) return false;
  EnsureLayout();
  std::vector<CControlUI*> stops;
  m_pRoot->FindControl(
      [&stops](CControlUI* c, void*) -> CControlUI* {
        if ((c->GetControlFlags() & UIFLAG_TABSTOP) != 0 && c->IsKeyboardEnabled() &&
            c->IsVisible() && c->IsEnabled())
          stops.push_back(c);
        return nullptr;
      },
      nullptr, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
  if (stops.empty()) return false;
  auto it = std::find(stops.begin(), stops.end(), m_pFocus);
  CControlUI* next = nullptr;
  if (it == stops.end()) {
    next = bForward ? stops.front() : stops.back();
  } else if (bForward) {
    next = (it + 1 == stops.end()) ? stops.front() : *(it + 1);
  } else {
    next = (it == stops.begin()) ? stops.back() : *(it - 1);
  }
  SetFocus(next);
  return m_pFocus == next;
}

void CPaintManagerUI::SetCapture() { m_bMouseCapture = true; }
void CPaintManagerUI::ReleaseCapture() { m_bMouseCapture = false; }

bool CPaintManagerUI::SetTimer(CControlUI* pControl, UINT nTimerID, UINT uElapse) {
  if (!pControl || !m_hWndPaint) return false;
  for (const TimerInfo& t : m_timers) {
    if (t.control == pControl && t.local_id == nTimerID)
      return uilib::SetTimer(m_hWndPaint, t.window_id, uElapse) != 0;
  }
  TimerInfo info{pControl, nTimerID, m_nextTimerId++};
  m_timers.push_back(info);
  return uilib::SetTimer(m_hWndPaint, info.window_id, uElapse) != 0;
}

bool CPaintManagerUI::KillTimer(CControlUI* pControl, UINT nTimerID) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->control == pControl && it->local_id == nTimerID) {
      uilib::KillTimer(m_hWndPaint, it->window_id);
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::KillTimers(CControlUI* pControl) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->control == pControl) {
      uilib::KillTimer(m_hWndPaint, it->window_id);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

void CPaintManagerUI::Invalidate(const RECT& rcItem) {
  if (m_hWndPaint) InvalidateRect(m_hWndPaint, &rcItem, false);
}

void CPaintManagerUI::Invalidate() {
  if (m_hWndPaint) InvalidateRect(m_hWndPaint, nullptr, false);
}

void CPaintManagerUI::EnsureLayout() {
  if (!m_pRoot || !m_bUpdateNeeded) return;
  RECT client{};
  if (m_hWndPaint) GetClientRect(m_hWndPaint, &client);
  m_bUpdateNeeded = false;
  m_pRoot->SetPos(client);
  if (m_bFirstLayout) {
    m_bFirstLayout = false;
    SendNotify(m_pRoot.get(), L"windowinit");
  }
}

void CPaintManagerUI::Paint(HDC hDC, const RECT& rcPaint) {
  EnsureLayout();
  if (m_dwDefaultBkColor != 0) CRenderEngine::DrawColor(hDC, rcPaint, m_dwDefaultBkColor);
  if (m_pRoot) m_pRoot->DoPaint(hDC, rcPaint);
}

void CPaintManagerUI::SetHot(CControlUI* pControl, POINT pt, DWORD timestamp) {
  if (pControl == m_pEventHover) return;
  TEventUI event;
  event.ptMouse = pt;
  event.dwTimestamp = timestamp;
  if (m_pEventHover) {
    event.Type = UIEVENT_MOUSELEAVE;
    event.pSender = m_pEventHover;
    m_pEventHover->Event(event);
  }
  m_pEventHover = pControl;
  HideToolTip();
  if (m_pEventHover) {
    event.Type = UIEVENT_MOUSEENTER;
    event.pSender = m_pEventHover;
    m_pEventHover->Event(event);
  }
}

void CPaintManagerUI::HideToolTip() {
  if (m_sShownToolTip.empty()) return;
  m_sShownToolTip.clear();
  GetUiBackend().ShowToolTip(m_hWndPaint, L"");
}

void CPaintManagerUI::DispatchMouse(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  m_ptLastMousePos = pt;
  const DWORD now = GetUiBackend().Now();
  TEventUI event;
  event.ptMouse = pt;
  event.wKeyState = wParam;
  event.dwTimestamp = now;
  switch (uMsg) {
    case WM_MOUSEMOVE: {
      CControlUI* hit = ControlAt(pt);
      SetHot(hit, pt, now);
      if (m_pEventClick) {
        event.Type = UIEVENT_MOUSEMOVE;
        event.pSender = m_pEventClick;
        m_pEventClick->Event(event);
      } else if (hit) {
        event.Type = UIEVENT_MOUSEMOVE;
        event.pSender = hit;
        hit->Event(event);
      }
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      // A click is an answer to the tip; it goes until the next rest.
      HideToolTip();
      CControlUI* hit = ControlAt(pt);
      if (!hit) return;
      SetHot(hit, pt, now);
      if (hit->IsEnabled() &&
          ((hit->GetControlFlags() & UIFLAG_TABSTOP) != 0 || hit->GetInterface(L"RichEdit")))
        SetFocus(hit);
      m_pEventClick = hit;
      SetCapture();
      event.Type = uMsg == WM_LBUTTONDOWN ? UIEVENT_BUTTONDOWN : UIEVENT_DBLCLICK;
      event.pSender = hit;
      hit->Event(event);
      return;
    }
    case WM_LBUTTONUP: {
      ReleaseCapture();
      CControlUI* target = m_pEventClick;
      m_pEventClick = nullptr;
      if (!target) return;
      event.Type = UIEVENT_BUTTONUP;
      event.pSender = target;
      target->Event(event);
      return;
    }
    case WM_RBUTTONDOWN: {
      HideToolTip();
      CControlUI* hit = ControlAt(pt);
      if (!hit) return;
      event.Type = UIEVENT_RBUTTONDOWN;
      event.pSender = hit;
      hit->Event(event);
      return;
    }
    case WM_RBUTTONUP: {
      CControlUI* hit = ControlAt(pt);
      if (!hit) return;
      event.Type = UIEVENT_CONTEXTMENU;
      event.pSender = hit;
      hit->Event(event);
      return;
    }
    case WM_MOUSEWHEEL: {
      if (!m_pEventHover) return;
      event.Type = UIEVENT_SCROLLWHEEL;
      event.pSender = m_pEventHover;
      event.wParam = wParam;
      m_pEventHover->Event(event);
      return;
    }
    default:
      return;
  }
}

bool CPaintManagerUI::DispatchKey(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  const UINT vk = static_cast<UINT>(wParam);
  const bool wants_return = m_pFocus && (m_pFocus->GetControlFlags() & UIFLAG_WANTRETURN) != 0;
  if (uMsg == WM_KEYDOWN && vk == VK_TAB) {
    SetNextTabControl((GetKeyState(VK_SHIFT) & 0x8000) == 0);
    return true;
  }
  // Enter and Escape belong to the window unless an edit keeps Enter.
  if ((vk == VK_RETURN && !wants_return) || vk == VK_ESCAPE) {
    if (uMsg == WM_CHAR || uMsg == WM_KEYDOWN || uMsg == WM_KEYUP) return false;
  }
  if (uMsg == WM_CHAR && vk == VK_TAB) return true;
  if (!m_pFocus) return false;
  TEventUI event;
  event.Type =
      uMsg == WM_KEYDOWN ? UIEVENT_KEYDOWN : (uMsg == WM_KEYUP ? UIEVENT_KEYUP : UIEVENT_CHAR);
  event.pSender = m_pFocus;
  event.chKey = static_cast<wchar_t>(wParam);
  event.wParam = wParam;
  event.lParam = lParam;
  event.ptMouse = m_ptLastMousePos;
  event.dwTimestamp = GetUiBackend().Now();
  m_pFocus->Event(event);
  return true;
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  std::vector<IMessageFilterUI*> filters = m_preFilters;
  for (IMessageFilterUI* f : filters) {
    bool handled = false;
    LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
    if (handled) {
      lRes = r;
      return true;
    }
  }
  return false;
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  if (!m_hWndPaint) return false;
  {
    std::vector<IMessageFilterUI*> filters = m_filters;
    for (IMessageFilterUI* f : filters) {
      bool handled = false;
      LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
      if (handled) {
        lRes = r;
        return true;
      }
    }
  }
  switch (uMsg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (cairo_t* cr = BeginPaint(m_hWndPaint, &ps)) {
        Paint(cr, ps.rcPaint);
        EndPaint(m_hWndPaint, &ps);
      }
      lRes = 0;
      return true;
    }
    case WM_SIZE:
      m_bUpdateNeeded = true;
      if (wParam != SIZE_MINIMIZED) EnsureLayout();
      Invalidate();
      return false;
    case WM_TIMER:
      for (const TimerInfo& t : m_timers) {
        if (t.window_id == wParam) {
          TEventUI event;
          event.Type = UIEVENT_TIMER;
          event.pSender = t.control;
          event.wParam = t.local_id;
          event.dwTimestamp = GetUiBackend().Now();
          t.control->Event(event);
          lRes = 0;
          return true;
        }
      }
      return false;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MOUSEWHEEL:
      if (!IsWindowEnabled(m_hWndPaint)) return false;
      EnsureLayout();
      DispatchMouse(uMsg, wParam, lParam);
      lRes = 0;
      return true;
    case WM_MOUSELEAVE:
      SetHot(nullptr, m_ptLastMousePos, GetUiBackend().Now());
      lRes = 0;
      return true;
    case WM_MOUSEHOVER: {
      if (!m_pEventHover) return false;
      TEventUI event;
      event.Type = UIEVENT_MOUSEHOVER;
      event.pSender = m_pEventHover;
      event.ptMouse = m_ptLastMousePos;
      event.dwTimestamp = GetUiBackend().Now();
      CControlUI* hot = m_pEventHover;
      std::wstring tip = hot->GetToolTip();
      hot->Event(event);
      if (!tip.empty() && m_pEventHover == hot) {
        m_sShownToolTip = tip;
        GetUiBackend().ShowToolTip(m_hWndPaint, tip);
      }
      lRes = 0;
      return true;
    }
    case WM_SETCURSOR: {
      CControlUI* hit = ControlAt(m_ptLastMousePos);
      if (hit && (hit->GetControlFlags() & UIFLAG_SETCURSOR) != 0) {
        TEventUI event;
        event.Type = UIEVENT_SETCURSOR;
        event.pSender = hit;
        event.ptMouse = m_ptLastMousePos;
        hit->Event(event);
      } else {
        SetCursorShape(m_hWndPaint, CursorShape::kArrow);
      }
      lRes = 1;
      return true;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      if (!IsWindowEnabled(m_hWndPaint)) return false;
      if (DispatchKey(uMsg, wParam, lParam)) {
        lRes = 0;
        return true;
      }
      return false;
    case WM_DESTROY:
      // Native children (a hosted text field) go before the window does.
      SetFocus(nullptr);
      return false;
    case WM_SHOWWINDOW:
      // A hidden window hears no pointer leaving it: what the pointer was
      // over goes now, or its outline would greet the user next time.
      if (wParam == 0) SetHot(nullptr, m_ptLastMousePos, GetUiBackend().Now());
      return false;
    case WM_ENABLE:
      // Under a modal dialog: the pointer's business is the dialog's now,
      // so neither a tip nor a hover outline stays.
      if (wParam == 0) SetHot(nullptr, m_ptLastMousePos, GetUiBackend().Now());
      return false;
    case WM_KILLFOCUS:
      if (m_pEventClick) {
        m_pEventClick = nullptr;
        ReleaseCapture();
      }
      return false;
    default:
      return false;
  }
}

}  // namespace uilib
