#include "client/web/web_command.h"

std::unique_ptr<JoberDesc_WebNormal> NewInterfaceCommand(const std::wstring& server,
                                                         const wchar_t* interface_name,
                                                         const wchar_t* command,
                                                         const FromHandle& origin,
                                                         WebJobCallback callback) {
  auto job = std::make_unique<JoberDesc_WebNormal>(std::move(callback), origin);
  job->request.command_name = command;
  job->url.base = server;
  job->url.path = L"ClientInterface.axd";
  job->url.SetParam(L"Interface", interface_name);
  job->url.SetParam(L"SerializationType", L"Json");
  job->url.SetParam(L"CommandName", command);
  return job;
}
