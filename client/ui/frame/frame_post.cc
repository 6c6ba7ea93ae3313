// The main window's post flow: the editor, the screenshot, the upload and
// the post, and their answers.
#include "client/core/event_ids.h"
#include "client/core/web_events.h"
#include "client/ui/controls/ob_pic_button_ui.h"
#include "client/ui/frame/frame_windows.h"
#include "client/ui/frame/ob_frame_wnd.h"
#include "uilib/controls/rich_edit_ui.h"

namespace {

constexpr wchar_t kTopic[] = L"#请在这里输入自定义话题#";
constexpr wchar_t kEditorHint[] = L"来，在右侧选择一张游戏截图，发布看法";
const FromHandle kFromFrame{FromHandle::kClient, 0};

}  // namespace

std::wstring COBFrameWnd::EditorText() const {
  return editor_ != nullptr ? editor_->GetText() : L"";
}

bool COBFrameWnd::TextPresent(const std::wstring& text) const {
  for (wchar_t c : text) {
    if (c != L' ' && c != 0x3000) return true;
  }
  return false;
}

void COBFrameWnd::RefreshCommitButton() {
  if (commit_ == nullptr) return;
  std::wstring text = EditorText();
  bool chosen = pic_button_ != nullptr && pic_button_->IsAttached();
  bool enable = (TextPresent(text) || chosen) && static_cast<int>(text.size()) <= kMaxPostLength &&
                !posting_ && !uploading_;
  commit_->SetEnabled(enable);
}

void COBFrameWnd::InsertTopic() {
  if (editor_ == nullptr) return;
  std::wstring text = EditorText();
  size_t first = text.find(L'#');
  if (first != std::wstring::npos && text.find(L'#', first + 1) != std::wstring::npos) return;
  editor_->SetTipText(L"");
  editor_->ReplaceSel(kTopic, true);
  text = EditorText();
  size_t at = text.find(kTopic);
  if (at != std::wstring::npos) {
    long start = static_cast<long>(at) + 1;
    editor_->SetSel(start, start + static_cast<long>(std::wstring(kTopic).size()) - 2);
  }
  editor_->SetFocus();
  editor_->SetTipText(kEditorHint);
  RefreshCommitButton();
}

void COBFrameWnd::Post() {
  std::wstring text = EditorText();
  if (text.find(kTopic) != std::wstring::npos) {
    SetStatus(L"请修改自定义话题！");
    windows_->ShowWarning(L"提示", L"请修改自定义话题！");
    return;
  }
  if (sign_in_ == SignInState::kGuest) {
    guest_post_pending_ = true;
    AskToSignIn();
    return;
  }
  HideTips();
  bool chosen = pic_button_ != nullptr && pic_button_->IsAttached();
  if ((!chosen && text.empty()) || static_cast<int>(text.size()) > kMaxPostLength) return;
  if (posting_ || uploading_) return;
  std::wstring post_from = services_->GameName(shot_game_id_);
  std::wstring image = chosen ? uploaded_image_ : L"";
  pending_post_text_.clear();
  // The picture and its game stay until the post succeeds or the picture
  // is removed, so that a retry after a failure still carries them.
  if (!services_->AddBlog(text, image, L"", post_from, kFromFrame)) {
    SetStatus(L"网络延时，请稍后再试！");
    RefreshCommitButton();
    return;
  }
  posting_ = true;
  RefreshCommitButton();
  SetStatus(L"发布中...");
}

void COBFrameWnd::OnScreenshotChosen(const std::wstring& path, const std::wstring& game_id) {
  if (pic_button_ != nullptr) {
    if (!pic_button_->IsAttached() || saved_pic_images_.empty()) {
      saved_pic_images_ = {{L"normalimage", pic_button_->GetNormalImage()},
                           {L"hotimage", pic_button_->GetHotImage()},
                           {L"pushedimage", pic_button_->GetPushedImage()},
                           {L"focusedimage", pic_button_->GetFocusedImage()},
                           {L"disabledimage", pic_button_->GetDisabledImage()}};
    }
    std::wstring image = L"file='" + path + L"'";
    pic_button_->SetNormalImage(image.c_str());
    pic_button_->SetHotImage(image.c_str());
    pic_button_->SetPushedImage(image.c_str());
    pic_button_->SetAttached(true);
    pic_button_->Invalidate();
  }
  shot_game_id_ = game_id;
  uploaded_image_.clear();
  UploadPicture(path);
  RefreshCommitButton();
}

void COBFrameWnd::UploadPicture(const std::wstring& path) {
  upload_path_ = path;
  uploading_ = true;
  RefreshCommitButton();
  if (!services_->Upload(path, kUploadTimeoutMs, kFromFrame)) {
    // No answer will come: the picture cannot be sent.
    RemoveAttachment();
    SetStatus(L"图片上传失败，请重新选择截图");
    RefreshCommitButton();
  }
}

void COBFrameWnd::RemoveAttachment() {
  if (pic_button_ != nullptr) {
    for (const auto& [name, value] : saved_pic_images_)
      pic_button_->SetAttribute(name.c_str(), value.c_str());
    pic_button_->SetAttached(false);
    pic_button_->Invalidate();
  }
  uploaded_image_.clear();
  shot_game_id_.clear();
  upload_path_.clear();
  uploading_ = false;
}

void COBFrameWnd::OnUpload(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_Upload*>(p);
  // (The payload has a `kind` of its own; the origin is the FromHandle part.)
  if (static_cast<const FromHandle*>(reply)->kind != FromHandle::kClient) return;
  // Only the answer for the picture now attached counts.
  if (upload_path_.empty() || reply->local_file != upload_path_) return;
  uploading_ = false;
  if (reply->ok) {
    uploaded_image_ = reply->text;
  } else {
    RemoveAttachment();
    SetStatus(L"图片上传失败，请重新选择截图");
  }
  RefreshCommitButton();
}

void COBFrameWnd::OnAddBlogDone(const EventParameter* p) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_Addblog*>(p);
  bool own = static_cast<const FromHandle*>(reply)->kind == FromHandle::kClient;
  bool on_default =
      browser_ != nullptr && browser_->LocationName().find(L"default") != std::wstring::npos;
  if (reply->ok) {
    if (on_default) CallPage("Blog_InsertSingle", {pending_post_text_, reply->param});
    // A game's post leaves the user's draft and picture alone.
    if (!own) return;
    if (editor_ != nullptr) editor_->SetText(L"");
    SetStatus(L"发布成功");
    posting_ = false;
    if (pic_button_ != nullptr && pic_button_->IsAttached()) RemoveAttachment();
    uploaded_image_.clear();
    shot_game_id_.clear();
    RefreshCommitButton();
    return;
  }
  if (!own) return;
  SetStatus(L"网络延时，请稍后再试！");
  if (on_default) CallPage("Other_ShowMessage", {L"发布日记失败", L"提示"});
  posting_ = false;
  RefreshCommitButton();
}
