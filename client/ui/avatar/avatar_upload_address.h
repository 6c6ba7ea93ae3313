#pragma once

#include <string>

class OBLogicWeb_ServerConfig;

// Where the avatar editor's page posts the new picture:
// "UploadHeadImage.axd" on the server that keeps the user's head image,
// addressed as every command of the service is ("http://" + server + "/" +
// path). Empty while the configuration names no such server.
std::wstring AvatarUploadUrl(const OBLogicWeb_ServerConfig& config);
