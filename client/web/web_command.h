#pragma once

#include <memory>
#include <string>

#include "client/web/jober.h"

// A job for one "ClientInterface.axd" command: base = the command's
// server, "Interface", "SerializationType" = "Json" and "CommandName" set;
// the caller adds the command's own parameters.
std::unique_ptr<JoberDesc_WebNormal> NewInterfaceCommand(const std::wstring& server,
                                                         const wchar_t* interface_name,
                                                         const wchar_t* command,
                                                         const FromHandle& origin,
                                                         WebJobCallback callback);
