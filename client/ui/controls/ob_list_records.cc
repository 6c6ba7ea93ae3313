#include "client/ui/controls/ob_list_records.h"

#include <algorithm>

void OBListRecords::SetPerPage(int per_page) {
  per_page_ = std::max(per_page, 0);
  page_count_ = per_page_ == 0 ? 0 : (user_count() + per_page_ - 1) / per_page_;
}

void OBListRecords::Add(OBListRecord record) {
  users_.push_back(std::move(record));
  SetPerPage(per_page_);
}

void OBListRecords::Clear() {
  users_.clear();
  page_count_ = 0;
}

std::pair<int, int> OBListRecords::PageRange(int page) const {
  if (page < 1 || page > page_count_) return {0, 0};
  int first = (page - 1) * per_page_;
  return {first, std::min(first + per_page_, user_count())};
}

int OBListRecords::UserAt(int page, int slot) const {
  auto [first, end] = PageRange(page);
  if (slot < 0 || first + slot >= end) return -1;
  return first + slot;
}

void OBListRecords::SetSelected(int user, bool selected) {
  if (user >= 0 && user < user_count()) users_[user].selected = selected;
}

void OBListRecords::SelectAll(bool selected) {
  for (auto& user : users_) user.selected = selected;
}

int OBListRecords::SelectedCount() const {
  return static_cast<int>(
      std::count_if(users_.begin(), users_.end(), [](const auto& u) { return u.selected; }));
}

std::wstring OBListRecords::SelectedAccounts() const {
  std::wstring accounts;
  for (const auto& user : users_)
    if (user.selected) accounts += user.account + L",";
  return accounts;
}
