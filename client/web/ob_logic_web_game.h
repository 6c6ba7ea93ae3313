#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/core/event_parameter.h"

struct JoberDescReturn_Web;
class JoberDesc_Web;
class WebLogicManager;

// Game friends and game profiles (events 20 and 23) and game file
// downloads (event 21). Main thread only.
class OBLogicWeb_Game {
 public:
  void SetManager(WebLogicManager* manager) { manager_ = manager; }

  // Need a session.
  void GetWYGameUserFriend(const FromHandle& origin);
  void GetGameUserProfileList(const FromHandle& origin);
  // `json`: the caller's profile changes; the reply is not reported.
  void UpdateGameProfile(const std::wstring& json, const FromHandle& origin);
  // Fetches a complete address into `local_file`; the task id, or -1.
  int64_t GameDownloadFile(const std::wstring& url, const std::wstring& local_file);

 private:
  // A session-bound "Game" command, or null when it cannot be sent.
  std::unique_ptr<JoberDesc_Web> NewGameCommand(
      const wchar_t* command, const FromHandle& origin,
      void (OBLogicWeb_Game::*reply)(const JoberDescReturn_Web*));
  void OnFriendsReply(const JoberDescReturn_Web* result);
  void OnProfilesReply(const JoberDescReturn_Web* result);
  void OnDownloadReply(const JoberDescReturn_Web* result);

  WebLogicManager* manager_ = nullptr;
};
