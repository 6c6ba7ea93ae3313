#pragma once

#include <map>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/ui/controls/ob_list_records.h"
#include "uilib/controls/container_ui.h"

struct ControlContext;
namespace uilib {
class CButtonUI;
class CLabelUI;
class COptionUI;
}  // namespace uilib

// A paged tile list of users ("OBList"): "count" tiles built from the item
// layout "oblist.xml", a row of paging controls found in a container the
// owner names, a check box per user and a head image per user, downloaded
// once per address and cached below the user's folder. Owned by its
// control tree; GUI thread only.
class COBListUI : public uilib::CTileLayoutUI {
 public:
  explicit COBListUI(const ControlContext* context);
  ~COBListUI() override;

  void SetAttribute(uilib::LPCTSTR name, uilib::LPCTSTR value) override;

  // Finds the paging controls ("selectAlready", "selectAll", "selectNull",
  // "prePage", "page1".."page99", "nextPage") inside `container`.
  void BindPagingControls(uilib::CContainerUI* container);
  // Adds a user; `record.head_image` is the head image reference.
  bool AddRecord(const OBListRecord& record);
  void ShowPagingControls();
  // False for a page that does not exist or has no label.
  bool GoToPage(int page);
  void ShowPage(int page);
  void Clear();
  // The list's part of every notification of its window.
  void HandleNotify(uilib::TNotifyUI& msg);
  std::wstring GetSelectedAccounts() const { return records_.SelectedAccounts(); }
  void UpdateSelectionCount();

  int current_page() const { return current_page_; }
  int page_count() const { return records_.page_count(); }
  int user_count() const { return records_.user_count(); }
  int page_label_count() const { return static_cast<int>(page_labels_.size()); }
  // The local file shown for a head image address (empty while pending).
  std::wstring HeadImageFor(const std::wstring& url) const;

 private:
  struct Slot {
    uilib::CControlUI* item = nullptr;
    uilib::CControlUI* nickname = nullptr;
    uilib::CControlUI* role_name = nullptr;
    uilib::CControlUI* verify_icon = nullptr;
    uilib::COptionUI* is_selected = nullptr;
    uilib::CControlUI* image = nullptr;
  };

  void BuildItems(int count);
  void ResetSlots();
  void OnDownloadReply(const EventParameter* payload);

  const ControlContext* context_;
  EventChain::Handle download_subscription_ = 0;
  OBListRecords records_;
  int current_page_ = 0;
  std::vector<Slot> slots_;
  std::map<std::wstring, std::wstring> head_images_;
  std::wstring default_head_image_;

  uilib::CLabelUI* select_already_ = nullptr;
  uilib::CControlUI* select_all_ = nullptr;
  uilib::CControlUI* select_none_ = nullptr;
  uilib::CLabelUI* pre_page_ = nullptr;
  std::vector<uilib::CLabelUI*> page_labels_;
  uilib::CLabelUI* next_page_ = nullptr;
};
