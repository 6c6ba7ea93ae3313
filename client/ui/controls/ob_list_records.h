#pragma once

#include <string>
#include <vector>

// One user of a paged user list.
struct OBListRecord {
  std::wstring account;
  std::wstring head_image;  // the image address once added
  std::wstring nickname;
  std::wstring role_name;
  bool verified = false;
  bool selected = false;
};

// The users of a paged list and the paging arithmetic, apart from the
// controls that show them. Pages count from 1; page 0 means none is shown.
// A list with zero users per page has no pages at all.
class OBListRecords {
 public:
  void SetPerPage(int per_page);
  int per_page() const { return per_page_; }

  void Add(OBListRecord record);
  void Clear();

  int user_count() const { return static_cast<int>(users_.size()); }
  int page_count() const { return page_count_; }

  // The users on page p as [first, end) indexes into users(); empty for a
  // page that does not exist.
  std::pair<int, int> PageRange(int page) const;

  // The user shown in `slot` of `page`, or -1.
  int UserAt(int page, int slot) const;

  void SetSelected(int user, bool selected);
  void SelectAll(bool selected);
  int SelectedCount() const;
  // The accounts of the selected users in order, each followed by ",".
  std::wstring SelectedAccounts() const;

  const std::vector<OBListRecord>& users() const { return users_; }

 private:
  std::vector<OBListRecord> users_;
  int per_page_ = 0;
  int page_count_ = 0;
};
