#include "client/ui/controls/ob_list_ui.h"

#include <algorithm>
#include <cwchar>
#include <filesystem>

#include "client/core/event_ids.h"
#include "client/core/web_events.h"
#include "client/ui/controls/control_context.h"
#include "client/ui/controls/head_image_cache.h"
#include "runtime/logmaker/log.h"
#include "uilib/builder/dialog_builder.h"
#include "uilib/controls/label_ui.h"
#include "uilib/controls/option_ui.h"
#include "uilib/controls/paint_manager_ui.h"

using namespace uilib;

namespace {

constexpr int kMaxPageLabels = 99;
constexpr DWORD kArrowDisabledColor = 0xFF666666;
constexpr DWORD kPageDisabledColor = 0xFFFFFFFF;

std::wstring Absolute(const std::filesystem::path& path) {
  return std::filesystem::absolute(path).wstring();
}

void Show(CControlUI* control, bool visible) {
  if (control != nullptr) control->SetVisible(visible);
}
void Enable(CControlUI* control, bool enabled) {
  if (control != nullptr) control->SetEnabled(enabled);
}
void SetLabel(CControlUI* control, const std::wstring& text) {
  if (control != nullptr) control->SetText(text.c_str());
}

}  // namespace

COBListUI::COBListUI(const ControlContext* context) : context_(context) {
  if (context_ != nullptr) {
    default_head_image_ = Absolute(std::filesystem::path(context_->skin_folder) / "img_t.png");
    if (context_->events != nullptr)
      download_subscription_ = context_->events->Subscribe(::SEVENT_RESPONSE_GameDownloadFile, this,
                                                           &COBListUI::OnDownloadReply);
  }
}

COBListUI::~COBListUI() {
  if (download_subscription_ != 0) context_->events->Unsubscribe(download_subscription_);
}

void COBListUI::SetAttribute(LPCTSTR name, LPCTSTR value) {
  if (std::wcscmp(name, L"count") == 0) {
    BuildItems(ParseInt(value));
    return;
  }
  CTileLayoutUI::SetAttribute(name, value);
}

void COBListUI::BuildItems(int count) {
  RemoveAll();
  slots_.clear();
  records_.SetPerPage(0);
  if (count <= 0 || context_ == nullptr) return;
  std::wstring layout = (std::filesystem::path(context_->skin_folder) / "oblist.xml").wstring();
  for (int i = 0; i < count; ++i) {
    CDialogBuilder builder;
    CControlUI* item = builder.Create(layout, nullptr, nullptr, nullptr);
    auto* box = item != nullptr
                    ? static_cast<CContainerUI*>(item->GetInterface(kInterfaceContainer))
                    : nullptr;
    if (box == nullptr) {
      LogWarn(L"%s:%d:list item %ls not built: %s\n", __func__, __LINE__, layout.c_str(),
              builder.GetLastErrorMessage().c_str());
      delete item;
      RemoveAll();
      slots_.clear();
      return;
    }
    Add(item);
    slots_.push_back(Slot{item, box->FindSubControl(L"NickNameLabel"),
                          box->FindSubControl(L"RoleNameLabel"), box->FindSubControl(L"VerifyIcon"),
                          dynamic_cast<COptionUI*>(box->FindSubControl(L"IsSelected")),
                          box->FindSubControl(L"ImgContainer")});
  }
  records_.SetPerPage(static_cast<int>(slots_.size()));
  ResetSlots();
}

void COBListUI::ResetSlots() {
  for (Slot& slot : slots_) {
    Show(slot.item, false);
    SetLabel(slot.nickname, L"");
    Show(slot.verify_icon, false);
    if (slot.is_selected != nullptr) {
      slot.is_selected->SetVisible(false);
      slot.is_selected->Selected(false, false);
    }
  }
}

void COBListUI::Clear() {
  ResetSlots();
  current_page_ = 0;
  records_.Clear();
  for (CLabelUI* control : {pre_page_, next_page_}) {
    Enable(control, false);
    Show(control, false);
  }
  for (CLabelUI* label : page_labels_) {
    label->SetEnabled(false);
    label->SetVisible(false);
  }
  UpdateSelectionCount();
}

void COBListUI::BindPagingControls(CContainerUI* container) {
  page_labels_.clear();
  if (container == nullptr) return;
  select_already_ = dynamic_cast<CLabelUI*>(container->FindSubControl(L"selectAlready"));
  select_all_ = container->FindSubControl(L"selectAll");
  select_none_ = container->FindSubControl(L"selectNull");
  pre_page_ = dynamic_cast<CLabelUI*>(container->FindSubControl(L"prePage"));
  if (pre_page_ != nullptr) {
    pre_page_->SetVisible(false);
    pre_page_->SetDisabledTextColor(kArrowDisabledColor);
  }
  for (int page = 1; page <= kMaxPageLabels; ++page) {
    std::wstring name = L"page" + std::to_wstring(page);
    auto* label = dynamic_cast<CLabelUI*>(container->FindSubControl(name.c_str()));
    if (label == nullptr) break;
    label->SetVisible(false);
    label->SetDisabledTextColor(kPageDisabledColor);
    page_labels_.push_back(label);
  }
  next_page_ = dynamic_cast<CLabelUI*>(container->FindSubControl(L"nextPage"));
  if (next_page_ != nullptr) {
    next_page_->SetVisible(false);
    next_page_->SetDisabledTextColor(kArrowDisabledColor);
  }
}

bool COBListUI::AddRecord(const OBListRecord& record) {
  OBListRecord user = record;
  user.head_image = HeadImageUrlOf(record.head_image);
  user.selected = true;
  // An empty address has nothing to fetch.
  if (!user.head_image.empty() && !head_images_.contains(user.head_image)) {
    head_images_[user.head_image] = L"";
    if (context_ != nullptr && context_->user_folder && context_->download) {
      std::wstring file = NewHeadImageCachePath(context_->user_folder(), user.head_image);
      if (!file.empty()) context_->download(user.head_image, file);
    }
  }
  records_.Add(std::move(user));
  return true;
}

void COBListUI::OnDownloadReply(const EventParameter* payload) {
  auto* reply = static_cast<const payload::SEVENT_RESPONSE_GameDownloadFile*>(payload);
  if (!reply->ok || reply->url.empty() || reply->local_file.empty()) return;
  // The reply is shared with every other downloader: only addresses this
  // list asked for are its business.
  auto it = head_images_.find(reply->url);
  if (it == head_images_.end()) return;
  it->second = ShowableHeadImage(reply->local_file);
}

std::wstring COBListUI::HeadImageFor(const std::wstring& url) const {
  auto it = head_images_.find(url);
  return it == head_images_.end() ? std::wstring() : it->second;
}

void COBListUI::ShowPagingControls() {
  Show(pre_page_, true);
  int shown = std::min(records_.page_count(), page_label_count());
  for (int page = 1; page <= shown; ++page) {
    page_labels_[page - 1]->SetVisible(true);
    page_labels_[page - 1]->SetEnabled(true);
  }
  Show(next_page_, true);
  UpdateSelectionCount();
}

bool COBListUI::GoToPage(int page) {
  if (page < 1 || page > records_.page_count() || page > page_label_count()) return false;
  ShowPage(page);
  return true;
}

void COBListUI::ShowPage(int page) {
  if (page < 1) return;
  if (current_page_ >= 1 && current_page_ <= page_label_count())
    page_labels_[current_page_ - 1]->SetEnabled(true);
  current_page_ = page;
  // The current page's label is drawn in the disabled colour.
  if (page <= page_label_count()) page_labels_[page - 1]->SetEnabled(false);
  ResetSlots();
  for (int slot_index = 0; slot_index < static_cast<int>(slots_.size()); ++slot_index) {
    int user_index = records_.UserAt(page, slot_index);
    if (user_index < 0) break;
    const OBListRecord& user = records_.users()[user_index];
    Slot& slot = slots_[slot_index];
    Show(slot.item, true);
    SetLabel(slot.nickname, user.nickname);
    SetLabel(slot.role_name, user.role_name);
    Show(slot.verify_icon, user.verified);
    if (slot.is_selected != nullptr) {
      slot.is_selected->SetVisible(true);
      slot.is_selected->Selected(user.selected, false);
    }
    if (slot.image != nullptr) {
      std::wstring image = HeadImageFor(user.head_image);
      slot.image->SetBkImage(image.empty() ? default_head_image_.c_str() : Absolute(image).c_str());
    }
  }
  Enable(pre_page_, page > 1);
  Enable(next_page_, page < records_.page_count() && page < page_label_count());
}

void COBListUI::HandleNotify(TNotifyUI& msg) {
  if (msg.sType == L"selectchanged") {
    for (int slot = 0; slot < static_cast<int>(slots_.size()); ++slot) {
      if (msg.pSender != slots_[slot].is_selected) continue;
      int user = records_.UserAt(current_page_, slot);
      if (user >= 0) records_.SetSelected(user, slots_[slot].is_selected->IsSelected());
      UpdateSelectionCount();
      return;
    }
    return;
  }
  if (msg.sType != L"click" || msg.pSender == nullptr) return;
  if (msg.pSender == select_all_ || msg.pSender == select_none_) {
    records_.SelectAll(msg.pSender == select_all_);
    // Nothing is shown before the first page: there is no page to redraw.
    if (current_page_ > 0) ShowPage(current_page_);
    UpdateSelectionCount();
  } else if (msg.pSender == pre_page_) {
    if (current_page_ - 1 > 0) GoToPage(current_page_ - 1);
  } else if (msg.pSender == next_page_) {
    GoToPage(current_page_ + 1);
  } else {
    for (int page = 1; page <= page_label_count(); ++page)
      if (msg.pSender == page_labels_[page - 1]) GoToPage(page);
  }
}

void COBListUI::UpdateSelectionCount() {
  if (select_already_ == nullptr) return;
  wchar_t text[64];
  std::swprintf(text, 64, L"[已选择 %d 人]", records_.SelectedCount());
  select_already_->SetText(text);
}
