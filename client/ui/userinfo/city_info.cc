#include "client/ui/userinfo/city_info.h"

#include <sstream>

#include "runtime/logmaker/log.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "uilib/controls/combo_ui.h"
#include "uilib/controls/list_ui.h"

using namespace uilib;

void CityInfo::SetCombos(CComboUI* province, CComboUI* city) {
  province_combo_ = province;
  city_combo_ = city;
}

void CityInfo::LoadCityInfo(const std::wstring& path) {
  std::string bytes;
  if (!brx::util::ReadWholeFile(path, &bytes)) {
    LogFatal(L"文件CityInfo.txt不存在！");
    return;
  }
  std::wistringstream in(brx::util::AnsiToWide(bytes));
  std::wstring token;
  while (in >> token && !token.empty()) {
    const std::wstring province = token;
    // A province past the bound is read over, cities and all, so that no
    // city maps to a province the combo does not offer.
    const bool kept = province_count_ < kMaxProvinces && province_combo_ != nullptr;
    if (kept) {
      auto* item = new CListLabelElementUI();
      item->SetText(province);
      province_combo_->Add(item);
      ++province_count_;
    } else {
      LogWarn(L"CityInfo.txt: province %ls beyond %d is ignored\n", province.c_str(),
              kMaxProvinces);
    }
    while (in >> token && token[0] != L'|') {
      if (!kept) continue;
      cities_.emplace(province, token);
      province_of_city_[token] = province;
    }
  }
}

void CityInfo::SelectProvinceCity(const std::wstring& province_in, const std::wstring& city) {
  if (province_combo_ == nullptr || city_combo_ == nullptr || city.empty() || selecting_) return;
  if (province_combo_->GetText() == province_in && city_combo_->GetText() == city) return;
  if (province_in.empty() && city_combo_->GetText() == city) return;
  if (province_combo_->GetCount() < 1 || province_combo_->GetCount() != province_count_) return;
  std::wstring province = province_in;
  if (province.empty()) {
    auto found = province_of_city_.find(city);
    if (found == province_of_city_.end()) return;
    province = found->second;
  }
  selecting_ = true;
  int index = 0;
  for (int i = 0; i < province_combo_->GetCount(); ++i) {
    if (province_combo_->GetItemAt(i)->GetText() == province) {
      index = i;
      break;
    }
  }
  province_combo_->SelectItem(index);
  const std::wstring selected = province_combo_->GetText();
  city_combo_->RemoveAll();
  int wanted = 0;
  int n = 0;
  auto range = cities_.equal_range(selected);
  for (auto it = range.first; it != range.second; ++it, ++n) {
    auto* item = new CListLabelElementUI();
    item->SetText(it->second);
    city_combo_->Add(item);
    if (it->second == city) wanted = n;
  }
  if (city_combo_->GetCount() > 0 && city_combo_->GetText() != city)
    city_combo_->SelectItem(wanted);
  selecting_ = false;
}
