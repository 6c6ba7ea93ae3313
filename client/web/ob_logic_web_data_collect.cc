#include "client/web/ob_logic_web_data_collect.h"

#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/web_logic_manager.h"
#include "runtime/util/edition.h"
#include "runtime/util/mac_address.h"

namespace {

std::wstring MacAddressText() {
  std::wstring mac = brx::util::GetQueriedMacAddress();
  if (mac.empty() && brx::util::QueryMacAddress()) mac = brx::util::GetQueriedMacAddress();
  return mac;
}

}  // namespace

void OBLogicWeb_DataCollect::WhenStart() { Send(L"WhenStart", L"R3|0"); }

void OBLogicWeb_DataCollect::CommitShot(uint32_t count1, uint32_t count2) {
  if (count1 == 0 && count2 == 0) return;
  Send(L"CommitShot", L"F1|" + std::to_wstring(count1) + L",F2|" + std::to_wstring(count2));
}

void OBLogicWeb_DataCollect::Send(const wchar_t* command, const std::wstring& d) {
  std::wstring server = manager_->ServerConfig().GetServerUrlForCommand(command);
  if (server.empty()) return;
  // The reply is still read as an envelope, so a broken service shows in the log.
  auto job = std::make_unique<JoberDesc_WebNormal>([](const JoberDescReturn_Web*) {},
                                                   FromHandle{FromHandle::kClient, 0});
  job->request.command_name = command;
  job->url.base = server;
  job->url.path = L"news.ashx";
  job->url.SetParam(L"mac", MacAddressText());
  job->url.SetParam(L"d", d);
  job->url.SetParam(L"version", brx::util::GetEditionVersion());
  job->url.SetParam(L"vkey", brx::util::GetEditionKey());
  manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                    std::move(job));
}
