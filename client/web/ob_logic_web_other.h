#pragma once

#include <string>

struct JoberDescReturn_Web;
class WebLogicManager;

// Server time, the provider id of the signed-in user and feedback (events
// 30, 31 and 33, each with origin {0, 0}). None needs a session. Main
// thread only.
class OBLogicWeb_Other {
 public:
  void SetManager(WebLogicManager* manager) { manager_ = manager; }

  void GetServerDateTime();
  // Sends the current session, empty while signed out.
  void GetCurrentUserQtidByEncrypt();
  void RecommendedAdd(const std::wstring& content, const std::wstring& title);

 private:
  void OnServerDateTimeReply(const JoberDescReturn_Web* result);
  void OnQtidReply(const JoberDescReturn_Web* result);
  void OnRecommendedAddReply(const JoberDescReturn_Web* result);

  WebLogicManager* manager_ = nullptr;
};
