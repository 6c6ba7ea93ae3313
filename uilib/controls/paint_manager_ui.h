#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "uilib/controls/control_ui.h"
#include "uilib/paint/paint_resources.h"
#include "uilib/winsys/ui_defs.h"
#include "uilib/controls/ui_event.h"

namespace uilib {

class COptionUI;
class ImageCache;

// Joins one window to its control tree: lays the tree out, paints it,
// turns the window's mouse and keyboard messages into control events
// (hot tracking, capture, focus, Tab order) and hands the controls'
// notifications to the registered notifiers in registration order.
// Lives with its window object; GUI thread only.
class CPaintManagerUI : public PaintResources {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  void Init(HWND hWnd);
  HWND GetPaintWindow() const { return m_hWndPaint; }

  // Process-wide: the module ("instance") is kept for icon look-ups; the
  // tool tips are read from a file <ToolTips><Tip name="..." text="..."/>
  // and given to every control of that name that has none of its own.
  static void SetResourceInstance(uintptr_t hInst);
  static uintptr_t GetResourceInstance();
  static bool InitToolTips(const std::wstring& path);
  static std::wstring GetToolTipFor(const std::wstring& control_name);
  // Folder that relative image and layout names are resolved against when
  // the paint manager has none of its own (the layout file's folder).
  static void SetResourcePath(const std::wstring& path);
  static std::wstring GetResourcePath();
  std::wstring GetSkinFolder() const;
  void SetSkinFolder(const std::wstring& folder);

  // The main loop's step before translate/dispatch: offers the message to
  // the pre-message filters of its window's paint manager. True when one
  // consumed it.
  static bool TranslateMessage(const MSG* pMsg);
  static bool TranslateMessage(const MSG& msg) { return TranslateMessage(&msg); }

  // The tree. AttachDialog takes ownership of `pControl` (null leaves the
  // window empty) and sends "windowinit".
  bool AttachDialog(CControlUI* pControl);
  CControlUI* GetRoot() const { return m_pRoot.get(); }
  bool InitControls(CControlUI* pControl, CControlUI* pParent = nullptr);
  void ReapObjects(CControlUI* pControl);

  // Layout values of the root <Window>.
  SIZE GetInitSize() const { return m_szInitWindowSize; }
  void SetInitSize(int cx, int cy);
  RECT GetCaptionRect() const { return m_rcCaption; }
  void SetCaptionRect(const RECT& rcCaption) { m_rcCaption = rcCaption; }
  SIZE GetRoundCorner() const { return m_szRoundCorner; }
  void SetRoundCorner(int cx, int cy);
  SIZE GetMinInfo() const { return m_szMinWindow; }
  void SetMinInfo(int cx, int cy);
  SIZE GetMaxInfo() const { return m_szMaxWindow; }
  void SetMaxInfo(int cx, int cy);
  RECT GetSizeBox() const { return m_rcSizeBox; }
  void SetSizeBox(const RECT& rc) { m_rcSizeBox = rc; }
  DWORD GetDefaultBkColor() const { return m_dwDefaultBkColor; }
  void SetDefaultBkColor(DWORD argb) { m_dwDefaultBkColor = argb; }

  // Fonts and default text colours.
  int AddFont(const FontInfo& font, bool bDefault);
  const FontInfo& GetFont(int index) const override;
  const FontInfo& GetDefaultFontInfo() const { return m_defaultFont; }
  int GetDefaultFontHeight() const;
  DWORD GetDefaultFontColor() const { return m_dwDefaultFontColor; }
  void SetDefaultFontColor(DWORD argb) { m_dwDefaultFontColor = argb; }
  DWORD GetDefaultDisabledColor() const { return m_dwDefaultDisabledColor; }
  void SetDefaultDisabledColor(DWORD argb) { m_dwDefaultDisabledColor = argb; }

  // Images, decoded once per paint manager. Relative names are resolved
  // against the skin folder. Null when the file cannot be read.
  cairo_surface_t* GetImage(const std::wstring& file) override;
  // The same image with pixels of colour `mask_argb` (alpha ignored) transparent.
  cairo_surface_t* GetMaskedImage(const std::wstring& file, uint32_t mask_argb) override;
  std::string ResolvePath(const std::wstring& file) const;

  // Look-ups. By name: null (and a log line naming what was missing) when
  // the layout has no such control. By point: the topmost visible control
  // that takes the mouse at a client point, or null.
  CControlUI* FindControl(LPCTSTR pstrName) const;
  CControlUI* FindControl(const std::wstring& name) const { return FindControl(name.c_str()); }
  CControlUI* FindControl(POINT pt) const;
  CControlUI* FindSubControlByName(CControlUI* pParent, LPCTSTR pstrName) const;
  // Same as FindControl(name) without the log line, for optional controls.
  CControlUI* FindControlQuiet(LPCTSTR pstrName) const;
  // Controls register their names when they join the tree.
  void NameChanged(CControlUI* pControl, const std::wstring& old_name);
  std::vector<COptionUI*> GetOptionGroup(const std::wstring& group) const;

  // Notifications.
  bool AddNotifier(INotifyUI* pControl);
  bool RemoveNotifier(INotifyUI* pControl);
  void SendNotify(TNotifyUI& Msg);
  void SendNotify(CControlUI* pControl, LPCTSTR pstrMessage, WPARAM wParam = 0, LPARAM lParam = 0);

  bool AddPreMessageFilter(IMessageFilterUI* pFilter);
  bool RemovePreMessageFilter(IMessageFilterUI* pFilter);
  bool AddMessageFilter(IMessageFilterUI* pFilter);
  bool RemoveMessageFilter(IMessageFilterUI* pFilter);

  // Focus and capture.
  CControlUI* GetFocus() const { return m_pFocus; }
  void SetFocus(CControlUI* pControl);
  // Moves the focus to the next (or previous) enabled, visible tab stop in
  // layout order, wrapping around.
  bool SetNextTabControl(bool bForward = true);
  void SetCapture();
  void ReleaseCapture();
  bool IsCaptured() const { return m_bMouseCapture; }
  CControlUI* GetHotControl() const { return m_pEventHover; }

  // Control timers: WM_TIMER of the window delivered as UIEVENT_TIMER.
  bool SetTimer(CControlUI* pControl, UINT nTimerID, UINT uElapse);
  bool KillTimer(CControlUI* pControl, UINT nTimerID);
  void KillTimers(CControlUI* pControl);

  // Painting.
  void Invalidate(const RECT& rcItem);
  void Invalidate();
  void NeedUpdate() { m_bUpdateNeeded = true; }
  // Lays the tree out (when needed) and paints it into `hDC`, clipped to
  // `rcPaint`. Used by WM_PAINT and by renderers without a window.
  void Paint(HDC hDC, const RECT& rcPaint);
  POINT GetMousePos() const { return m_ptLastMousePos; }
  // The tool tip shown for the hot control, empty when none.
  std::wstring GetShownToolTip() const { return m_sShownToolTip; }

  // True when the library handled the message; `lRes` is then the result.
  bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

  // The paint manager of a window, or null.
  static CPaintManagerUI* FromWindow(HWND hWnd);

 private:
  void EnsureLayout();
  CControlUI* ControlAt(POINT pt) const;
  void SetHot(CControlUI* pControl, POINT pt, DWORD timestamp);
  void HideToolTip();
  void DispatchMouse(UINT uMsg, WPARAM wParam, LPARAM lParam);
  bool DispatchKey(UINT uMsg, WPARAM wParam, LPARAM lParam);
  void ForgetControl(CControlUI* pControl);

  HWND m_hWndPaint = 0;
  std::unique_ptr<CControlUI> m_pRoot;
  CControlUI* m_pFocus = nullptr;
  CControlUI* m_pEventHover = nullptr;
  CControlUI* m_pEventClick = nullptr;
  bool m_bMouseCapture = false;
  bool m_bUpdateNeeded = true;
  bool m_bFirstLayout = true;
  POINT m_ptLastMousePos{-1, -1};
  std::wstring m_sShownToolTip;
  std::wstring m_sSkinFolder;

  SIZE m_szInitWindowSize{};
  RECT m_rcCaption{};
  SIZE m_szRoundCorner{};
  SIZE m_szMinWindow{};
  SIZE m_szMaxWindow{};
  RECT m_rcSizeBox{};
  DWORD m_dwDefaultBkColor = 0;
  FontInfo m_defaultFont;
  std::vector<FontInfo> m_fonts;
  DWORD m_dwDefaultFontColor = 0xFF000000;
  DWORD m_dwDefaultDisabledColor = 0xFFA7A6AA;

  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_preFilters;
  std::vector<IMessageFilterUI*> m_filters;
  std::multimap<std::wstring, CControlUI*> m_names;
  std::vector<CControlUI*> m_controls;  // every control of the tree, in the order they joined
  struct TimerInfo {
    CControlUI* control;
    UINT local_id;
    uintptr_t window_id;
  };
  std::vector<TimerInfo> m_timers;
  uintptr_t m_nextTimerId = 0x7F000000;
  std::unique_ptr<ImageCache> m_images;
  // Cleared by the destructor: a notifier that frees the window (and this
  // manager) stops the delivery instead of being followed by freed memory.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace uilib
