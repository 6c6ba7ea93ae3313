#pragma once

#include <string>

struct JoberDescReturn_Web;
class WebLogicManager;

// Following other users (event 17). Main thread only.
class OBLogicWeb_Follow {
 public:
  void SetManager(WebLogicManager* manager) { manager_ = manager; }
  // `ids`: account ids joined with commas. Needs a session.
  void AddFollowList(const std::wstring& ids);

 private:
  void OnAddFollowListReply(const JoberDescReturn_Web* result);
  WebLogicManager* manager_ = nullptr;
};
