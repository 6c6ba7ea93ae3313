#include "client/ui/controls/dialog_builder_callback_ex.h"

#include <cwchar>

#include "client/ui/controls/ob_list_ui.h"
#include "client/ui/controls/ob_option_ui.h"
#include "client/ui/controls/ob_pic_button_ui.h"
#include "client/ui/controls/ob_user_button_ui.h"

CDialogBuilderCallbackEx::CDialogBuilderCallbackEx(const ControlContext* context)
    : context_(context) {}

uilib::CControlUI* CDialogBuilderCallbackEx::CreateControl(uilib::LPCTSTR class_name) {
  if (class_name == nullptr) return nullptr;
  if (std::wcscmp(class_name, L"OBList") == 0) return new COBListUI(context_);
  if (std::wcscmp(class_name, L"OBPicButton") == 0) return new COBPicButtonUI(context_);
  if (std::wcscmp(class_name, L"OBUserButton") == 0) return new COBUserButtonUI();
  if (std::wcscmp(class_name, L"OBOption") == 0) return new COBOptionUI();
  return nullptr;
}
