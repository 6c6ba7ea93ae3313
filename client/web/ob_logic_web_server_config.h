#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct JoberDescReturn_Web;
class WebLogicManager;

// The server configuration: downloads "gsc" from the static content host
// (see server_config_address.h) into the program folder, reads it (or
// "gsc.test" when that file lies in the program folder) and answers, for
// every command, the address of the server that serves it. Each node keeps
// one server, picked at random at every read.
//
// The download lands in "gsc.download" and replaces "gsc" only when it
// reads as a server configuration, so a failed, cut or garbled download
// leaves both the file and the table as they were (though with "gsc.test"
// present, that file is read again after every download that arrived).
//
// Main thread only (the download runs as a job on "OBLogicWeb_Download").
class OBLogicWeb_ServerConfig {
 public:
  void SetManager(WebLogicManager* manager) { manager_ = manager; }

  // Posts the download on "OBLogicWeb_Download"; the task id, or -1 when
  // it could not be posted.
  int64_t DownloadServerConfig();
  // Removes what earlier downloads left in the program folder: a
  // "gsc.download" and every transfer's temporary file ("<name>.part-"
  // and six letters or digits). At start, before any download.
  void RemoveLeftoverDownloads();
  // Reads the file at `path`, or "gsc.test" in the program folder instead
  // when it exists, and parses it.
  void LoadLocalConfig(const std::wstring& path);
  // Reads the configuration text. False, with nothing changed and no
  // event, when it does not parse or has no root "Node"; else the table is
  // updated and event 32 fires.
  bool ParseServerConfig(const std::string& text);
  // "http://" + the server of the command's node; empty when the command
  // is unknown (exact, case-sensitive match) or its node has no server.
  std::wstring GetServerUrlForCommand(const std::wstring& command) const;

  // The node's servers as last read (one each), for tests and diagnostics.
  const std::map<std::wstring, std::vector<std::wstring>>& servers() const { return servers_; }
  // Forgets every server, which no file read can do.
  void ClearServersForTesting() { servers_.clear(); }

 private:
  void OnDownloaded(const JoberDescReturn_Web* result);
  bool TestOverridePresent() const;

  WebLogicManager* manager_ = nullptr;
  std::map<std::wstring, std::vector<std::wstring>> servers_;
};
