#pragma once

#include <memory>
#include <string>

#include "client/web/jober.h"

// A job for one "ClientInterface.axd" command: base = the command's
// server, "Interface", "SerializationType" = "Json" and "CommandName" set;
// the caller adds the command's own parameters.
std::unique_ptr<JoberDesc_Web> NewInterfaceCommand(const std::wstring& server, const wchar_t* interface_name,
                                                   const wchar_t* command, const FromHandle& origin,
                                                   WebJobCallback callback);

// A result that never reached the network, queued like any other so that
// a requester waiting on a reply event hears of the failure.
std::unique_ptr<JoberDescReturn_Web> NewUnsentResult(std::unique_ptr<JoberDesc_Web> job);
