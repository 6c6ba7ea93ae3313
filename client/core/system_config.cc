#include "client/core/system_config.h"

#include <sys/stat.h>
#include <tinyxml.h>

#include <cwctype>

#include "client/core/config_keys.h"
#include "client/core/config_xml.h"
#include "runtime/platform/user_dirs.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"

using namespace config_keys;

namespace {

constexpr wchar_t kSnapshotFolderName[] = L"OBSnapshot";

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

}  // namespace

SystemConfig::SystemConfig(std::wstring program_folder)
    : program_folder_(std::move(program_folder)), doc_(std::make_unique<TiXmlDocument>()) {}

SystemConfig::~SystemConfig() = default;

const char* SystemConfig::BuiltInDocument() {
  return "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n"
         "<root>\n"
         "    <base>\n"
         "        <normal>\n"
         "            <autorun>1</autorun>\n"
         "            <autologin>0</autologin>\n"
         "        </normal>\n"
         "        <sound enable=\"0\">\n"
         "            <oneshot>1</oneshot>\n"
         "            <manyshot>1</manyshot>\n"
         "        </sound>\n"
         "        <store type=\"default\" path=\"\">\n"
         "            <quota enable=\"1\">\n"
         "                <size>500</size>\n"
         "            </quota>\n"
         "        </store>\n"
         "    </base>\n"
         "    <security>\n"
         "        <pwd />\n"
         "    </security>\n"
         "    <user />\n"
         "</root>\n";
}

std::wstring SystemConfig::FilePath() const { return program_folder_ + L"/sysconfig.xml"; }

void SystemConfig::Load() {
  // The file remembers the account and its cipher password, which is
  // enough to sign in: a copy an older version left readable to others is
  // closed at once, not only at the next save.
  struct stat st {};
  std::string path = brx::util::WideToUtf8(FilePath());
  if (stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0)
    chmod(path.c_str(), st.st_mode & 0700);
  std::string text;
  if (brx::util::ReadWholeFile(FilePath(), &text) && config_xml::ParseLegacy(doc_.get(), text))
    return;
  config_xml::ParseLegacy(doc_.get(), BuiltInDocument());
}

bool SystemConfig::Save() {
  config_xml::EnsureDeclaration(doc_.get());
  return config_xml::Save(*doc_, FilePath());
}

std::wstring SystemConfig::GetConfigValue(const std::wstring& key,
                                          const std::wstring& default_value) const {
  return config_xml::Get(doc_.get(), key, default_value);
}

void SystemConfig::SetConfigValue(const std::wstring& key, const std::wstring& value) {
  config_xml::Set(doc_.get(), key, value);
}

bool SystemConfig::GetFlag(const wchar_t* key, const wchar_t* default_value) const {
  return config_xml::ParseInt(GetConfigValue(key, default_value)) == 1;
}

void SystemConfig::SetFlag(const wchar_t* key, bool on) { SetConfigValue(key, on ? L"1" : L"0"); }

bool SystemConfig::IsFirstRun() const { return GetFlag(kFirstRun, L"1"); }
bool SystemConfig::IsShowHelp() const { return GetFlag(kShowHelp, L"1"); }
void SystemConfig::SetShowHelp(bool show) { SetFlag(kShowHelp, show); }
std::wstring SystemConfig::GetAccount() const { return GetConfigValue(kAccount, L""); }
void SystemConfig::SetAccount(const std::wstring& account) { SetConfigValue(kAccount, account); }
std::wstring SystemConfig::GetPassword() const { return GetConfigValue(kPassword, L""); }
void SystemConfig::SetPassword(const std::wstring& password) {
  SetConfigValue(kPassword, password);
}
bool SystemConfig::IsAutoLogin() const { return GetFlag(kAutoLogin, L"0"); }
void SystemConfig::SetAutoLogin(bool on) { SetFlag(kAutoLogin, on); }
bool SystemConfig::IsOneShotSound() const { return GetFlag(kOneShotSound, L"0"); }
void SystemConfig::SetOneShotSound(bool on) { SetFlag(kOneShotSound, on); }
bool SystemConfig::IsManyShotSound() const { return GetFlag(kManyShotSound, L"0"); }
void SystemConfig::SetManyShotSound(bool on) { SetFlag(kManyShotSound, on); }
int SystemConfig::GetInnerPositionX() const {
  return config_xml::ParseInt(GetConfigValue(kPositionX, L"4800"));
}
void SystemConfig::SetInnerPositionX(int x) { SetConfigValue(kPositionX, std::to_wstring(x)); }
int SystemConfig::GetInnerPositionY() const {
  return config_xml::ParseInt(GetConfigValue(kPositionY, L"2550"));
}
void SystemConfig::SetInnerPositionY(int y) { SetConfigValue(kPositionY, std::to_wstring(y)); }
std::wstring SystemConfig::GetStoreType() const { return GetConfigValue(kStoreType, L"default"); }

void SystemConfig::SetStoreType(const std::wstring& type) {
  SetConfigValue(kStoreType, type);
  if (type == L"custom") SetConfigValue(kStorePath, L"");
}

std::wstring SystemConfig::GetStorePath() const { return GetConfigValue(kStorePath, L""); }

void SystemConfig::SetStorePath(const std::wstring& path) {
  SetConfigValue(kStorePath, NormalizeSnapshotDirectory(path));
}

int SystemConfig::GetQuotaSize() const {
  return config_xml::ParseInt(GetConfigValue(kQuotaSize, L"500"));
}
void SystemConfig::SetQuotaSize(int megabytes) {
  SetConfigValue(kQuotaSize, std::to_wstring(megabytes));
}

std::wstring SystemConfig::GetSnapshotDirectory() const {
  const std::wstring& program = program_folder_;
  // An absent store type means the program folder, like "default".
  std::wstring type = GetConfigValue(kStoreType, L"");
  std::wstring path = GetConfigValue(kStorePath, L"");
  std::wstring folder;
  if (type.empty() || type == L"default") {
    folder = program;
  } else if (type == L"mydocument") {
    folder = brx::util::Utf8ToWide(brx::platform::XdgUserDirectory("DOCUMENTS"));
    if (folder.empty()) folder = program;
  } else {
    folder = path.empty() ? program : path;
  }
  if (folder.size() < 2) folder = program;
  return NormalizeSnapshotDirectory(folder);
}

std::wstring SystemConfig::NormalizeSnapshotDirectory(const std::wstring& path) {
  if (path.size() < 2) return path;
  std::wstring out = path;
  if (IsSeparator(out.back())) out.pop_back();
  size_t last = out.find_last_of(L"/\\");
  if (last != std::wstring::npos && EqualsNoCase(out.substr(last + 1), kSnapshotFolderName))
    return out;
  return out + L"/" + kSnapshotFolderName;
}
