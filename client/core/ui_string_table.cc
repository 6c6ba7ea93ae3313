#include "client/core/ui_string_table.h"

#include <map>
#include <memory>
#include <string>

#include "runtime/platform/system_info.h"

namespace {

struct Entry {
  const char* key;
  const wchar_t* chinese;
  const wchar_t* english;
};

constexpr Entry kEntries[] = {
    {STRING_OMBRIX, L"翎岚", L"OmBrix"},
    {STRING_LOGIN_STATE_OFFLINE, L"未登录", L"Offline"},
    {STRING_LOGIN_STATE_ONLINE, L"已登录", L"Online"},
    {STRING_LOGIN_STATE_LOGIN, L"登录", L"Login"},
    {STRING_LOGIN_STATE_LOGINING, L"登录中", L"Logining"},
    {STRING_LOGIN_STATE_LOGINFAIL, L"登录失败", L"Login Failed"},
    {STRING_MESSAGE_TIP, L"提示", L"Tip"},
    {STRING_MESSAGE_WARN, L"警告", L"Warn"},
    {STRING_MESSAGE_ERROR, L"错误", L"Error"},
    {STRING_MESSAGE_NONEEDFONT, L"检测到您的电脑没有安装运行翎岚所需的字体",
     L"There is no fonts installed to run Ombrix"},
    {STRING_MESSAGE_OMBRIXISRUNNING, L"你已启动翎岚,不能重复启动", L"Ombrix is running"},
    {STRING_POSTBLOG_ME, L"我在", L"Screen shot from"},
    {STRING_POSTBLOG_SHOTANDSHARE, L"游戏上截了这张图片,与大家一同分享",
     L",I would to like to share with you"},
};

using Table = std::map<std::string, std::wstring>;

std::unique_ptr<Table>& TheTable() {
  static std::unique_ptr<Table> table;
  return table;
}

}  // namespace

void UIStringTable::Build() { Build(brx::platform::SystemLanguageId()); }

void UIStringTable::Build(unsigned language_id) {
  bool chinese = IsChineseLanguage(language_id);
  auto table = std::make_unique<Table>();
  for (const Entry& e : kEntries) (*table)[e.key] = chinese ? e.chinese : e.english;
  TheTable() = std::move(table);
}

void UIStringTable::Destroy() { TheTable().reset(); }

const wchar_t* UIStringTable::GetString(const char* key) {
  const Table* table = TheTable().get();
  if (!table || !key) return nullptr;
  auto it = table->find(key);
  return it == table->end() ? nullptr : it->second.c_str();
}

bool UIStringTable::IsChineseLanguage(unsigned language_id) {
  return language_id == 1028 || language_id == 2052 || language_id == 3076 || language_id == 4100;
}
