#include "client/ui/script/jscript_execute_logic_frame_wnd_core.h"

namespace {

FrameScriptTarget* Frame(IJScriptExecute* self);

// The table's order fixes the methods' dispatch ids: append only.
std::vector<IJScriptExecute::Entry> Table() {
  using Args = const ScriptArgs&;
  return {
      {"CB_OnLoad",
       [](IJScriptExecute* s, Args a) {
         if (a.size() != 2) return false;
         Frame(s)->OnPageLoad(a[1]);
         return true;
       }},
      {"CB_UserLogin", [](IJScriptExecute* s, Args) { return Frame(s)->HideAndSignOut(), true; }},
      {"CB_UserLogout",
       [](IJScriptExecute* s, Args) { return Frame(s)->RequestUserLogout(), true; }},
      {"CB_ResetAboutUserCount",
       [](IJScriptExecute* s, Args) { return Frame(s)->ResetAboutUserCount(), true; }},
      {"CB_ResetMessageCount",
       [](IJScriptExecute* s, Args) { return Frame(s)->ResetMessageCount(), true; }},
      {"CB_ResetFansCount",
       [](IJScriptExecute* s, Args) { return Frame(s)->ResetFansCount(), true; }},
      {"CB_ResetMirrorBlogCount",
       [](IJScriptExecute* s, Args) { return Frame(s)->ResetMirrorBlogCount(), true; }},
      {"CB_ShowMiniUserInfoDlg",
       [](IJScriptExecute* s, Args a) {
         if (a.size() != 3) return false;
         Frame(s)->ShowMiniCard(a);
         return true;
       }},
      {"CB_GetOriginImage",
       [](IJScriptExecute* s, Args a) {
         if (a.size() != 1) return false;
         Frame(s)->OpenOriginImage(a[0]);
         return true;
       }},
      {"CB_ShowFrameNormal",
       [](IJScriptExecute* s, Args) { return Frame(s)->ShowDefaultPage(), true; }},
      {"CB_CloseAction", [](IJScriptExecute* s, Args) { return Frame(s)->CloseAction(), true; }},
      {"CB_SetKnow",
       [](IJScriptExecute* s, Args a) {
         if (a.size() != 1) return false;
         Frame(s)->SetKnowStatus(a[0]);
         return true;
       }},
  };
}

FrameScriptTarget* Frame(IJScriptExecute* self) {
  return static_cast<JScriptExecuteLogicFrameWndCore*>(self)->frame();
}

}  // namespace

JScriptExecuteLogicFrameWndCore::JScriptExecuteLogicFrameWndCore(FrameScriptTarget* frame)
    : IJScriptExecute(Table()), frame_(frame) {}
