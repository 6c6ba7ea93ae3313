#pragma once

#include <string>

// What the web logic needs from the rest of the main client: the system
// configuration (where a sign-in remembers its account and password) and
// the screenshot store. The host's web adapter (client/host) implements it;
// main thread only.
class IWebClientHost {
 public:
  virtual ~IWebClientHost() = default;
  // Sets a system configuration value by key path (config_keys::kAccount);
  // the logic holder saves the configuration when it sees fit.
  virtual void SetSystemConfigValue(const std::wstring& key, const std::wstring& value) = 0;
  // Reads one; empty when it is not set.
  virtual std::wstring GetSystemConfigValue(const std::wstring& key) = 0;
  // The screenshot store folder.
  virtual std::wstring GetSnapshotDirectory() = 0;
  // Forgets every catalogued screenshot (before the user's folder changes).
  virtual void ClearAllShots() = 0;
};
