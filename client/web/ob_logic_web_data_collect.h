#pragma once

#include <cstdint>
#include <string>

class WebLogicManager;

// Reports to the data-collection service ("news.ashx" on the DCServer
// node): the start report and the screenshot counts, each with the
// adapter address, the installed version and the edition key. Replies are
// not reported. No session needed. Main thread only.
class OBLogicWeb_DataCollect {
 public:
  void SetManager(WebLogicManager* manager) { manager_ = manager; }

  // d = "R3|0".
  void WhenStart();
  // d = "F1|<count1>,F2|<count2>"; nothing is sent when both are 0.
  void CommitShot(uint32_t count1, uint32_t count2);

 private:
  void Send(const wchar_t* command, const std::wstring& d);
  WebLogicManager* manager_ = nullptr;
};
