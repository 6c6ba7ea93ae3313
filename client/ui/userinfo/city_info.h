#pragma once

#include <map>
#include <string>

namespace uilib {
class CComboUI;
}

// Fills and couples the province and city combos of the profile editor
// from the skin's "CityInfo.txt": ANSI text of whitespace-separated
// tokens, one record per province (its name, its cities, then a token
// starting with "|"). Borrows the combos. GUI thread only.
class CityInfo {
 public:
  // More provinces than this are not taken (their cities neither).
  static constexpr int kMaxProvinces = 50;

  void SetCombos(uilib::CComboUI* province, uilib::CComboUI* city);
  // Reads the file into the province combo and the maps; logs a fatal
  // line and leaves both combos empty when it cannot be read.
  void LoadCityInfo(const std::wstring& path);
  // Selects `province` (the first item when unknown; looked up from the
  // city when empty), refills the city combo with its cities and selects
  // `city` (the first city when it has no such city). Nothing happens
  // with an empty city or when both are already selected.
  void SelectProvinceCity(const std::wstring& province, const std::wstring& city);

  // True while SelectProvinceCity is changing the combos: the "itemselect"
  // notifications raised then are not the user's.
  bool selecting() const { return selecting_; }
  int province_count() const { return province_count_; }

 private:
  uilib::CComboUI* province_combo_ = nullptr;
  uilib::CComboUI* city_combo_ = nullptr;
  int province_count_ = 0;
  std::multimap<std::wstring, std::wstring> cities_;
  std::map<std::wstring, std::wstring> province_of_city_;
  bool selecting_ = false;
};
