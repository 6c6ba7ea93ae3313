#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "uilib/controls/paint_manager_ui.h"
#include "uilib/controls/ui_event.h"
#include "uilib/winsys/window_wnd.h"

// The base of every skinned window of the client: one native window, its
// paint manager and the control tree built from a skin layout. Every window
// gets the same borderless frame: no system caption, dragging by the
// layout's caption band (buttons there stay clickable), an optional colour
// key and round top corners.
//
// Ownership: the code that creates a window object owns it and deletes it;
// deleting it destroys a window that still exists. A window that nobody
// owns asks for DeleteOnFinalMessage, and is then deleted after its last
// message instead; never both. GUI thread only.
class OBUIWindow : public uilib::CWindowWnd, public uilib::INotifyUI {
 public:
  // Pixels of exactly this colour are transparent in windows that ask for
  // the colour key (red 0x43, green 0x4B, blue 0).
  static constexpr uilib::COLORREF kColorKey = 0x004B43;

  // `callback` makes the program's own controls while the skin is built and
  // is dropped right after; may be null.
  OBUIWindow(std::unique_ptr<uilib::IDialogBuilderCallback> callback, bool color_key);
  ~OBUIWindow() override;

  uilib::LRESULT HandleMessage(uilib::UINT msg, uilib::WPARAM wparam,
                               uilib::LPARAM lparam) override;
  void OnFinalMessage(uilib::HWND hwnd) override;

  // For a window without an owner: the object deletes itself once its
  // window is gone, also when the creation fails. Call before Create.
  void DeleteOnFinalMessage() { delete_on_final_message_ = true; }

  uilib::CPaintManagerUI& paint_manager() { return paint_manager_; }
  const std::wstring& skin_source() const { return skin_source_; }

 protected:
  // The message handlers; each starts with `handled` true. A handler that
  // clears it lets the message go on, its result as the starting result.
  virtual uilib::LRESULT OnCreate(uilib::WPARAM wparam, uilib::LPARAM lparam, bool& handled);
  virtual uilib::LRESULT OnNcHitTest(uilib::WPARAM wparam, uilib::LPARAM lparam, bool& handled);
  virtual uilib::LRESULT OnSize(uilib::WPARAM wparam, uilib::LPARAM lparam, bool& handled);
  virtual uilib::LRESULT OnNcPaint(uilib::WPARAM wparam, uilib::LPARAM lparam, bool& handled);
  virtual uilib::LRESULT OnNcCalcSize(uilib::WPARAM wparam, uilib::LPARAM lparam, bool& handled);
  virtual uilib::LRESULT OnNcActivate(uilib::WPARAM wparam, uilib::LPARAM lparam, bool& handled);
  // Called at the end of a successful OnCreate: find and prepare controls.
  virtual void InitControls() = 0;

  // The caption-band hit test of a screen point in lParam: HTCLIENT outside
  // the band, over nothing or over a control whose class is one of
  // `client_classes`; HTCAPTION over anything else in the band.
  uilib::LRESULT CaptionHitTest(uilib::LPARAM lparam,
                                std::initializer_list<const wchar_t*> client_classes);

  // The named control as a T, or null (logged) when the layout has none or
  // it is of another kind; windows check before use.
  template <typename T = uilib::CControlUI>
  T* Find(const wchar_t* name) {
    uilib::CControlUI* control = paint_manager_.FindControl(name);
    if (control == nullptr) return nullptr;
    T* typed = dynamic_cast<T*>(control);
    if (typed == nullptr) LogKindMismatch(name, control);
    return typed;
  }

  // Names a control the window cannot work without; call in the
  // constructor. When the skin is built, `*slot` gets the control; a skin
  // that lacks it, or has it as another kind, fails the window's creation
  // with a log line naming it, so the window's code never checks for null.
  template <typename T>
  void Require(const wchar_t* name, T** slot) {
    required_.push_back({name, [this, name, slot] { return (*slot = Find<T>(name)) != nullptr; }});
  }

  // A layout file name or, starting with "<", the layout text itself. The
  // derived constructor fills it before the window is created.
  std::wstring skin_source_;
  uilib::CPaintManagerUI paint_manager_;

 private:
  static void LogKindMismatch(const wchar_t* name, uilib::CControlUI* control);
  // The skin for log lines: its file, or "(inline layout)".
  std::wstring SkinName() const;
  // Binds every required control; false (logged) at the first missing one.
  bool BindRequired();

  struct RequiredControl {
    const wchar_t* name;
    std::function<bool()> bind;
  };
  std::vector<RequiredControl> required_;

  std::unique_ptr<uilib::IDialogBuilderCallback> builder_callback_;
  bool color_key_;
  bool delete_on_final_message_ = false;
};
