#pragma once

#include <string>

#include "client/ui/script/ijscript_execute.h"

// What the main page may ask of the main window through window.external.
class FrameScriptTarget {
 public:
  virtual void OnPageLoad(const std::wstring& page_name) = 0;
  virtual void HideAndSignOut() = 0;
  virtual void RequestUserLogout() = 0;
  virtual void ResetAboutUserCount() = 0;
  virtual void ResetMessageCount() = 0;
  virtual void ResetFansCount() = 0;
  virtual void ResetMirrorBlogCount() = 0;
  // Mode, vertical offset and card data, as the page passed them.
  virtual void ShowMiniCard(const ScriptArgs& args) = 0;
  virtual void OpenOriginImage(const std::wstring& url) = 0;
  virtual void ShowDefaultPage() = 0;
  virtual void CloseAction() = 0;
  virtual void SetKnowStatus(const std::wstring& text) = 0;

 protected:
  ~FrameScriptTarget() = default;
};
