#pragma once

#include <memory>
#include <string>

class TiXmlDocument;

// The system settings: one XML document, "sysconfig.xml" in the program
// folder, read and written by key path. Values change in memory; nothing
// reaches the disk until Save().
//
// GUI thread only.
class SystemConfig {
 public:
  explicit SystemConfig(std::wstring program_folder);
  ~SystemConfig();
  SystemConfig(const SystemConfig&) = delete;
  SystemConfig& operator=(const SystemConfig&) = delete;

  // Loads "sysconfig.xml"; a missing or broken file gives the built-in
  // document instead, silently.
  void Load();
  // Writes the document with its gb2312 declaration; false when it could
  // not be written (callers ignore it).
  bool Save();

  std::wstring GetConfigValue(const std::wstring& key, const std::wstring& default_value) const;
  void SetConfigValue(const std::wstring& key, const std::wstring& value);

  bool IsFirstRun() const;
  bool IsShowHelp() const;
  void SetShowHelp(bool show);
  std::wstring GetAccount() const;
  void SetAccount(const std::wstring& account);
  std::wstring GetPassword() const;
  void SetPassword(const std::wstring& password);
  bool IsAutoLogin() const;
  void SetAutoLogin(bool on);
  bool IsOneShotSound() const;
  void SetOneShotSound(bool on);
  bool IsManyShotSound() const;
  void SetManyShotSound(bool on);
  // The in-game panel's position.
  int GetInnerPositionX() const;
  void SetInnerPositionX(int x);
  int GetInnerPositionY() const;
  void SetInnerPositionY(int y);
  // "default", "mydocument" or "custom".
  std::wstring GetStoreType() const;
  // Setting "custom" also empties the custom path.
  void SetStoreType(const std::wstring& type);
  std::wstring GetStorePath() const;
  // Stores the path normalized (see NormalizeSnapshotDirectory).
  void SetStorePath(const std::wstring& path);
  int GetQuotaSize() const;
  void SetQuotaSize(int megabytes);

  // Where screenshots are stored: the program folder, the user's Documents
  // folder or the custom path, always ending in "/OBSnapshot".
  std::wstring GetSnapshotDirectory() const;
  // Removes one trailing "/" (or "\") and appends "/OBSnapshot" unless the
  // last part already is "OBSnapshot" (any letter case). A text of fewer
  // than 2 characters stays as it is.
  static std::wstring NormalizeSnapshotDirectory(const std::wstring& path);

  const std::wstring& program_folder() const { return program_folder_; }
  std::wstring FilePath() const;
  // The document text used when "sysconfig.xml" cannot be loaded.
  static const char* BuiltInDocument();

 private:
  bool GetFlag(const wchar_t* key, const wchar_t* default_value) const;
  void SetFlag(const wchar_t* key, bool on);

  std::wstring program_folder_;
  std::unique_ptr<TiXmlDocument> doc_;
};
